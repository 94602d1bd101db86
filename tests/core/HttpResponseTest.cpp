#include "core/HttpResponse.h"

#include <gtest/gtest.h>

using namespace orvane;
using State = HttpResponse::State;
using Failure = HttpResponse::Failure;

namespace {

// Fed in pieces of `step` bytes, as a slow server would send it.
State feedInPieces(HttpResponse& response, const QByteArray& data, qsizetype step) {
    for (qsizetype at = 0; at < data.size() && response.state() == State::Reading; at += step)
        response.feed(QByteArrayView(data).sliced(at, std::min(step, data.size() - at)));
    return response.state();
}

} // namespace

TEST(HttpResponse, LengthChunkedAndUntilClose) {
    for (qsizetype step : {qsizetype(1), qsizetype(7), qsizetype(4096)}) {
        HttpResponse length;
        EXPECT_EQ(feedInPieces(length,
                               "HTTP/1.1 100 Continue\r\n\r\n"
                               "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                               "X-Folded: a\r\n b\r\nContent-Length: 5\r\n\r\nhelloEXTRA",
                               step),
                  State::Done);
        EXPECT_EQ(length.status(), 200);
        EXPECT_EQ(length.body(), "hello");
        EXPECT_EQ(length.field("content-type"), "text/html");
        EXPECT_EQ(length.field("x-folded"), "a b");

        HttpResponse chunked;
        EXPECT_EQ(feedInPieces(chunked,
                               "HTTP/1.1 302 Found\nLocation: http://x/y\nTransfer-Encoding: "
                               "chunked\n\n5;ext=1\r\nhello\r\n1\r\n!\r\n0\r\nTrailer: t\r\n\r\n",
                               step),
                  State::Done);
        EXPECT_EQ(chunked.status(), 302);
        EXPECT_EQ(chunked.field("Location"), "http://x/y");
        EXPECT_EQ(chunked.body(), "hello!");
    }
    HttpResponse untilClose;
    untilClose.feed("HTTP/1.0 200 OK\r\n\r\npart");
    EXPECT_EQ(untilClose.state(), State::Reading);
    EXPECT_EQ(untilClose.closed(), State::Done);
    EXPECT_EQ(untilClose.body(), "part");
}

TEST(HttpResponse, EndlessHeaderFieldsEndAtTheBound) {
    HttpResponse response({1024, 4096});
    response.feed("HTTP/1.1 200 OK\r\n");
    // Fields without end, and one endless field; interim responses count too.
    EXPECT_EQ(feedInPieces(response, QByteArray("X-Field: value\r\n").repeated(100000), 4096),
              State::Failed);
    EXPECT_EQ(response.failure(), Failure::HeaderTooLarge);
    HttpResponse line({1024, 4096});
    EXPECT_EQ(feedInPieces(line, "HTTP/1.1 200 OK\r\nX: " + QByteArray(10000, 'a'), 100),
              State::Failed);
    HttpResponse interim({1024, 4096});
    EXPECT_EQ(feedInPieces(interim, QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(100), 50),
              State::Failed);
    EXPECT_EQ(interim.failure(), Failure::HeaderTooLarge);
    // Just under the bound is fine.
    HttpResponse fits({1024, 4096});
    EXPECT_EQ(fits.feed("HTTP/1.1 200 OK\r\nX: " + QByteArray(960, 'a') +
                        "\r\nContent-Length: 0\r\n\r\n"),
              State::Done);
}

TEST(HttpResponse, BodyThatCameWithTheHeadIsNotCountedAsHead) {
    // Found by fuzzing: the trailer's bytes were added to a head count that
    // still held the body read in the same piece.
    const QByteArray response = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n200\r\n" +
                                QByteArray(512, 'x') + "\r\n0\r\nTrailer: t\r\n\r\n";
    for (qsizetype step : {response.size(), qsizetype(1)}) {
        HttpResponse response256({256, 4096});
        EXPECT_EQ(feedInPieces(response256, response, step), State::Done) << step;
        EXPECT_EQ(response256.body().size(), 512);
    }
}

TEST(HttpResponse, BodiesOverTheBoundAreRefusedAsSoonAsKnown) {
    HttpResponse promised({1024, 4096});
    EXPECT_EQ(promised.feed("HTTP/1.1 200 OK\r\nContent-Length: 4097\r\n\r\n"), State::Failed);
    EXPECT_EQ(promised.failure(), Failure::BodyTooLarge);
    HttpResponse chunk({1024, 4096});
    EXPECT_EQ(chunk.feed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFF\r\n"),
              State::Failed);
    EXPECT_EQ(chunk.failure(), Failure::BodyTooLarge);
    // Found by fuzzing: a size of more hex digits than a 64-bit number holds
    // overflowed to a negative length.
    HttpResponse overflow({1024, 4096});
    EXPECT_EQ(overflow.feed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                            "FFFFFFFFFFFFFFFFFF\r\nabc\r\n"),
              State::Failed);
    HttpResponse chunks({1024, 4096});
    EXPECT_EQ(feedInPieces(chunks,
                           "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                               QByteArray("400\r\n" + QByteArray(1024, 'x') + "\r\n").repeated(5),
                           333),
              State::Failed);
    EXPECT_EQ(chunks.failure(), Failure::BodyTooLarge);
    HttpResponse untilClose({1024, 4096});
    EXPECT_EQ(feedInPieces(untilClose, "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(5000, 'x'), 1000),
              State::Failed);
    EXPECT_EQ(untilClose.failure(), Failure::BodyTooLarge);
    EXPECT_TRUE(untilClose.body().isEmpty());
}

TEST(HttpResponse, WhatIsNotHttpOrEndsEarlyFails) {
    for (const char* bad : {"SSH-2.0-x\r\n\r\n", "HTTP/1.1 2000 OK\r\n\r\n", "HTTP/1.1 abc\r\n\r\n",
                            "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n",
                            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"}) {
        HttpResponse response;
        EXPECT_EQ(response.feed(bad), State::Failed) << bad;
        EXPECT_EQ(response.failure(), Failure::Malformed) << bad;
    }
    HttpResponse endless;
    endless.feed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + QByteArray(5000, '1'));
    EXPECT_EQ(endless.failure(), Failure::Malformed);
    HttpResponse early;
    early.feed("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort");
    EXPECT_EQ(early.closed(), State::Failed);
    EXPECT_EQ(early.failure(), Failure::Truncated);
    HttpResponse headless;
    headless.feed("HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(headless.closed(), State::Failed);
}
