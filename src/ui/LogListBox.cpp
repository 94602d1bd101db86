#include "ui/LogListBox.h"

#include "ui/LogListBoxAccessible.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

LogListBox::LogListBox(QWidget* parent) : QAbstractScrollArea(parent) {
    static const bool accessible = [] {
        QAccessible::installFactory(&LogListBoxAccessible::factory);
        return true;
    }();
    Q_UNUSED(accessible);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
}

void LogListBox::addItem(const QString& line) {
    m_lines.append(line);
    const int top = topIndex();
    updateScrollRange();
    // Only a new line that falls inside the shown rows needs painting.
    if (count() - 1 < top + visibleRows() + 1)
        viewport()->update();
    // A screen reader hears of the new line as a new item of the list.
    if (QAccessible::isActive()) {
        QAccessibleEvent added(this, QAccessible::ObjectCreated);
        added.setChild(count() - 1);
        QAccessible::updateAccessibility(&added);
    }
}

int LogListBox::topIndex() const {
    return verticalScrollBar()->value();
}

void LogListBox::setTopIndex(int index) {
    verticalScrollBar()->setValue(index);
}

int LogListBox::visibleRows() const {
    return qMax(1, viewport()->height() / kItemHeight);
}

void LogListBox::setCurrentRow(int row) {
    if (row < -1 || row >= count() || row == m_current)
        return;
    m_current = row;
    if (row >= 0 && (row < topIndex() || row >= topIndex() + visibleRows()))
        setTopIndex(row < topIndex() ? row : row - visibleRows() + 1);
    viewport()->update();
}

void LogListBox::updateScrollRange() {
    QScrollBar* bar = verticalScrollBar();
    const int rows = visibleRows();
    bar->setPageStep(rows);
    bar->setRange(0, qMax(0, count() - rows));
}

void LogListBox::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette& pal = palette();
    const int width = viewport()->width();
    const int first = topIndex();
    const int last = qMin(count() - 1, first + visibleRows());
    painter.setFont(font());
    for (int row = first; row <= last; ++row) {
        const QRect rect(0, (row - first) * kItemHeight, width, kItemHeight);
        if (row == m_current) {
            painter.fillRect(rect, pal.brush(QPalette::Highlight));
            painter.setPen(pal.color(QPalette::HighlightedText));
        } else {
            painter.setPen(pal.color(QPalette::Text));
        }
        painter.drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         m_lines.at(row));
    }
}

void LogListBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

void LogListBox::mousePressEvent(QMouseEvent* event) {
    const int row = topIndex() + int(event->position().y()) / kItemHeight;
    if (row < count())
        setCurrentRow(row);
}

void LogListBox::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy) && m_current >= 0) {
        QGuiApplication::clipboard()->setText(m_lines.at(m_current));
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
        setCurrentRow(qMax(0, m_current - 1));
        return;
    case Qt::Key_Down:
        setCurrentRow(qMin(count() - 1, m_current + 1));
        return;
    case Qt::Key_Home:
        setCurrentRow(count() ? 0 : -1);
        return;
    case Qt::Key_End:
        setCurrentRow(count() - 1);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}
