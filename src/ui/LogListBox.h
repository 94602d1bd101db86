#pragma once

#include <QAbstractScrollArea>
#include <QStringList>

// The execution log's list box: lines of one fixed height, appended only.
// Appending costs the same however long the log is, which a general item
// view (relaying out every row on each insert) cannot offer.
class LogListBox : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit LogListBox(QWidget* parent = nullptr);

    static constexpr int kItemHeight = 13;

    void addItem(const QString& line);
    int count() const { return int(m_lines.size()); }
    QString item(int index) const { return m_lines.value(index); }

    // The first shown line; setting it scrolls as far as the list allows.
    int topIndex() const;
    void setTopIndex(int index);
    int visibleRows() const;

    int currentRow() const { return m_current; }
    void setCurrentRow(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateScrollRange();

    QStringList m_lines;
    int m_current = -1;
};
