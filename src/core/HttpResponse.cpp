#include "core/HttpResponse.h"

#include <algorithm>

namespace orvane {

namespace {

// Chunk-size lines and the like are short; a longer one is not HTTP.
constexpr qsizetype kFramingLine = 4096;

// Where the head ends and how long its terminator is (a blank line, with or
// without carriage returns), searching from `from`; -1 when not yet.
QPair<qsizetype, qsizetype> headEnd(const QByteArray& head, qsizetype from) {
    const qsizetype crlf = head.indexOf("\r\n\r\n", from);
    const qsizetype lf = head.indexOf("\n\n", from);
    if (crlf >= 0 && (lf < 0 || crlf < lf))
        return {crlf, 4};
    if (lf >= 0)
        return {lf, 2};
    return {-1, 0};
}

// Digits only, and few enough that no value overflows (the bounds are far
// smaller anyway).
bool parseNumber(QByteArrayView text, int base, qint64& value) {
    if (text.isEmpty() || text.size() > (base == 16 ? 15 : 18))
        return false;
    value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value * base + digit;
    }
    return true;
}

} // namespace

QByteArray HttpResponse::field(QByteArrayView name) const {
    for (const auto& [fieldName, value] : m_fields) {
        if (fieldName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HttpResponse::State HttpResponse::fail(Failure failure) {
    m_state = State::Failed;
    m_failure = failure;
    m_head.clear();
    m_body.clear();
    m_line.clear();
    return m_state;
}

HttpResponse::State HttpResponse::done() {
    m_state = State::Done;
    m_head.clear();
    m_line.clear();
    return m_state;
}

HttpResponse::State HttpResponse::feed(QByteArrayView data) {
    QByteArray carried;
    while (m_state == State::Reading && m_phase == Phase::Head && !data.isEmpty()) {
        // The head is held only up to its bound, counted across interim
        // (1xx) responses too, so endless fields end here.
        const qsizetype room = m_limits.header - m_headBytes;
        const QByteArrayView taken = data.first(std::min(data.size(), room));
        const qsizetype from = std::max<qsizetype>(0, m_head.size() - 3);
        m_head.append(taken);
        m_headBytes += taken.size();
        const auto [end, length] = headEnd(m_head, from);
        if (end < 0) {
            if (m_headBytes >= m_limits.header)
                return fail(Failure::HeaderTooLarge);
            return m_state;
        }
        // What came after the blank line is body, not head.
        m_headBytes -= m_head.size() - (end + length);
        carried = m_head.mid(end + length) + data.sliced(taken.size()).toByteArray();
        const QByteArray head = m_head.left(end);
        m_head.clear();
        if (!parseHead(head))
            return fail(Failure::Malformed);
        data = carried;
        if (m_status >= 100 && m_status < 200) {
            m_fields.clear();
            continue;
        }
        startBody();
    }
    if (m_state == State::Reading && m_phase != Phase::Head)
        return feedBody(data);
    return m_state;
}

bool HttpResponse::parseHead(QByteArrayView head) {
    const QList<QByteArray> lines = head.toByteArray().split('\n');
    QByteArray status = lines.value(0).trimmed();
    if (!status.startsWith("HTTP/1.") || status.size() < 12 || status[8] != ' ')
        return false;
    qint64 code = 0;
    if (!parseNumber(QByteArrayView(status).sliced(9, 3), 10, code) || code < 100 || code > 999)
        return false;
    if (status.size() > 12 && status[12] != ' ')
        return false;
    m_status = int(code);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if ((line[0] == ' ' || line[0] == '\t') && !m_fields.isEmpty()) {
            m_fields.last().second += ' ' + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        m_fields.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return true;
}

HttpResponse::State HttpResponse::startBody() {
    if (m_status == 204 || m_status == 304)
        return done();
    if (field("transfer-encoding").toLower().contains("chunked")) {
        m_phase = Phase::ChunkSize;
        return m_state;
    }
    const QByteArray length = field("content-length");
    if (length.isEmpty()) {
        m_phase = Phase::UntilClose;
        return m_state;
    }
    qint64 value = 0;
    if (!parseNumber(length, 10, value))
        return fail(Failure::Malformed);
    if (value > m_limits.body)
        return fail(Failure::BodyTooLarge);
    m_remaining = value;
    m_phase = Phase::Length;
    return value == 0 ? done() : m_state;
}

bool HttpResponse::appendBody(QByteArrayView data) {
    if (m_body.size() + data.size() > m_limits.body) {
        fail(Failure::BodyTooLarge);
        return false;
    }
    m_body.append(data);
    return true;
}

bool HttpResponse::takeLine(QByteArrayView& data, QByteArray& line) {
    const qsizetype newline = data.indexOf('\n');
    const qsizetype taken = newline < 0 ? data.size() : newline;
    if (m_line.size() + taken > kFramingLine) {
        fail(Failure::Malformed);
        return false;
    }
    m_line.append(data.first(taken));
    if (newline < 0) {
        data = {};
        return false;
    }
    data = data.sliced(newline + 1);
    line = std::exchange(m_line, {});
    if (line.endsWith('\r'))
        line.chop(1);
    return true;
}

HttpResponse::State HttpResponse::feedBody(QByteArrayView data) {
    QByteArray line;
    while (m_state == State::Reading && !data.isEmpty()) {
        switch (m_phase) {
        case Phase::Head:
            return m_state;
        case Phase::UntilClose:
            appendBody(data);
            return m_state;
        case Phase::Length:
        case Phase::ChunkData: {
            const qsizetype taken = qsizetype(std::min<qint64>(m_remaining, data.size()));
            if (!appendBody(data.first(taken)))
                return m_state;
            data = data.sliced(taken);
            m_remaining -= taken;
            if (m_remaining == 0) {
                if (m_phase == Phase::Length)
                    return done();
                m_phase = Phase::ChunkEnd;
            }
            break;
        }
        case Phase::ChunkSize: {
            if (!takeLine(data, line))
                return m_state;
            const qsizetype extension = line.indexOf(';');
            qint64 size = 0;
            if (!parseNumber(
                    QByteArrayView(line).first(extension < 0 ? line.size() : extension).trimmed(),
                    16, size))
                return fail(Failure::Malformed);
            if (size > m_limits.body - m_body.size())
                return fail(Failure::BodyTooLarge);
            m_remaining = size;
            m_phase = size == 0 ? Phase::Trailer : Phase::ChunkData;
            break;
        }
        case Phase::ChunkEnd:
            if (!takeLine(data, line))
                return m_state;
            if (!line.isEmpty())
                return fail(Failure::Malformed);
            m_phase = Phase::ChunkSize;
            break;
        case Phase::Trailer:
            if (!takeLine(data, line))
                return m_state;
            m_headBytes += line.size() + 2;
            if (m_headBytes > m_limits.header)
                return fail(Failure::HeaderTooLarge);
            if (line.isEmpty())
                return done();
            break;
        }
    }
    return m_state;
}

HttpResponse::State HttpResponse::closed() {
    if (m_state != State::Reading)
        return m_state;
    if (m_phase == Phase::UntilClose)
        return done();
    return fail(Failure::Truncated);
}

} // namespace orvane
