#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <deque>

class LogListBox;

// What a screen reader sees of the execution log: a list whose items are its
// lines. Line items are made when asked for; the most recent ones are kept,
// so the cost per line stays the same however long the log grows.
class LogListBoxAccessible final : public QAccessibleWidget {
public:
    explicit LogListBoxAccessible(LogListBox* box);
    ~LogListBoxAccessible() override;

    // Makes the log's interface when Qt asks for one.
    static QAccessibleInterface* factory(const QString& className, QObject* object);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    LogListBox* box() const;

    // Line items made so far, by row, and the order they were made in.
    mutable QHash<int, QAccessible::Id> m_items;
    mutable std::deque<int> m_made;
};
