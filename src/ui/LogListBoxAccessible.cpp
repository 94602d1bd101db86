#include "ui/LogListBoxAccessible.h"

#include "ui/LogListBox.h"

#include <QWidget>

namespace {

// How many line items are kept for screen readers that walk the list.
constexpr std::size_t kKeptItems = 1000;

class LogLineAccessible final : public QAccessibleInterface {
public:
    LogLineAccessible(LogListBox* box, int row) : m_box(box), m_row(row) {}

    int row() const { return m_row; }
    const LogListBox* box() const { return m_box; }

    bool isValid() const override { return m_box && m_row < m_box->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_box ? m_box->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return m_box ? QAccessible::queryAccessibleInterface(m_box) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? m_box->item(m_row) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QRect rect() const override {
        if (!isValid() || !shown())
            return {};
        QWidget* viewport = m_box->viewport();
        const QRect local(0, (m_row - m_box->topIndex()) * LogListBox::kItemHeight,
                          viewport->width(), LogListBox::kItemHeight);
        return QRect(viewport->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::State state() const override {
        QAccessible::State state;
        state.selectable = true;
        state.focusable = true;
        if (isValid() && m_box->currentRow() == m_row) {
            state.selected = true;
            state.focused = m_box->hasFocus();
        }
        if (!isValid() || !shown())
            state.invisible = state.offscreen = true;
        return state;
    }

private:
    bool shown() const {
        return m_row >= m_box->topIndex() && m_row <= m_box->topIndex() + m_box->visibleRows();
    }

    QPointer<LogListBox> m_box;
    int m_row;
};

} // namespace

LogListBoxAccessible::LogListBoxAccessible(LogListBox* box)
    : QAccessibleWidget(box, QAccessible::List) {}

LogListBoxAccessible::~LogListBoxAccessible() {
    for (QAccessible::Id id : std::as_const(m_items))
        QAccessible::deleteAccessibleInterface(id);
}

QAccessibleInterface* LogListBoxAccessible::factory(const QString& className, QObject* object) {
    if (className == QLatin1String("LogListBox") && object && object->isWidgetType())
        return new LogListBoxAccessible(static_cast<LogListBox*>(object));
    return nullptr;
}

LogListBox* LogListBoxAccessible::box() const {
    return static_cast<LogListBox*>(widget());
}

int LogListBoxAccessible::childCount() const {
    return box()->count();
}

QAccessibleInterface* LogListBoxAccessible::child(int index) const {
    if (index < 0 || index >= box()->count())
        return nullptr;
    if (const auto found = m_items.constFind(index); found != m_items.constEnd())
        return QAccessible::accessibleInterface(*found);
    auto* item = new LogLineAccessible(box(), index);
    m_items.insert(index, QAccessible::registerAccessibleInterface(item));
    m_made.push_back(index);
    if (m_made.size() > kKeptItems) {
        QAccessible::deleteAccessibleInterface(m_items.take(m_made.front()));
        m_made.pop_front();
    }
    return item;
}

int LogListBoxAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (!child || child->role() != QAccessible::ListItem)
        return -1;
    const auto* line = static_cast<const LogLineAccessible*>(child);
    return line->box() == box() ? line->row() : -1;
}

QAccessibleInterface* LogListBoxAccessible::childAt(int x, int y) const {
    const QPoint local = box()->viewport()->mapFromGlobal(QPoint(x, y));
    if (!box()->viewport()->rect().contains(local))
        return nullptr;
    return child(box()->topIndex() + local.y() / LogListBox::kItemHeight);
}

QAccessibleInterface* LogListBoxAccessible::focusChild() const {
    return box()->hasFocus() ? child(box()->currentRow()) : nullptr;
}
