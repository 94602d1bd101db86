#pragma once

#include <QDialog>

class QPushButton;
class QTabWidget;
class QTreeWidget;

// The preview of an account table before its accounts are created.
class TFSLList : public QDialog {
    Q_OBJECT

public:
    explicit TFSLList(QWidget* parent = nullptr);

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QTreeWidget* ListView1;
    QPushButton* Button1;
    QPushButton* Button2;

    // Whether the last button pressed confirmed the table.
    bool CsvFileOK = false;

    void Button1Click();
    void Button2Click();

    // The number of columns of the preview list.
    static constexpr int kColumns = 21;

protected:
    // Closing without a button (Escape, the close box) abandons the table.
    void done(int result) override;

private:
    bool m_byButton = false;
};
