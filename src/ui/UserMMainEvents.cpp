// Wiring the controls to their handlers: clicks, menu entries, key filters,
// drag and drop, and closing the window.
#include "ui/UserMMain.h"
#include "ui/UserMMainCommands.h"

#include "core/KeyFilters.h"
#include "ui/CharacterRuleValidator.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <algorithm>

void TUMainForm::connectHandlers() {
    connect(Button5, &QPushButton::clicked, this, commandSlot(&TUMainForm::Button5Click));
    connect(Button8, &QPushButton::clicked, this, commandSlot(&TUMainForm::Button8Click));
    connect(Button7, &QPushButton::clicked, this, commandSlot(&TUMainForm::Button7Click));
    connect(Button6, &QPushButton::clicked, this, commandSlot(&TUMainForm::Button6Click));
    connect(Button1, &QPushButton::clicked, this, handlerSlot(&TUMainForm::Button1Click));
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (PageControl1->currentWidget() == TabSheet2)
            guarded([this] { TabSheet2Show(); });
    });

    connect(N7, &QAction::triggered, this, handlerSlot(&TUMainForm::N7Click));
    connect(N8, &QAction::triggered, this, handlerSlot(&TUMainForm::N8Click));
    connect(N9, &QAction::triggered, this, commandSlot(&TUMainForm::N9Click));
    connect(N10, &QAction::triggered, this, commandSlot(&TUMainForm::N10Click));
    connect(N4, &QAction::triggered, this, commandSlot(&TUMainForm::N4Click));
    connect(N6, &QAction::triggered, this, commandSlot(&TUMainForm::N6Click));
    connect(N11, &QAction::triggered, this, commandSlot(&TUMainForm::N11Click));
    connect(N12, &QAction::triggered, this, commandSlot(&TUMainForm::N12Click));
    connect(N13, &QAction::triggered, this, commandSlot(&TUMainForm::N13Click));
    connect(N15, &QAction::triggered, this, commandSlot(&TUMainForm::N15Click));
    connect(N16, &QAction::triggered, this, commandSlot(&TUMainForm::N16Click));
    connect(N1, &QAction::triggered, this, commandSlot(&TUMainForm::N1Click));
    connect(N2, &QAction::triggered, this, commandSlot(&TUMainForm::N2Click));
    connect(PopupMenu1, &QMenu::aboutToShow, this, handlerSlot(&TUMainForm::PopupMenu1Popup));
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(ListView1->viewport()->mapToGlobal(pos));
    });
    connect(ListView2, &QAbstractItemView::doubleClicked, this,
            handlerSlot(&TUMainForm::ListView2DblClick));

    for (QLineEdit* box : {Edit2, Edit3, Edit4})
        box->installEventFilter(this);
    // What is pasted, dropped or composed meets the same rule as what is typed.
    using orvane::ui::CharacterRuleValidator;
    Edit2->setValidator(new CharacterRuleValidator(&orvane::PrefixKeyAllowed, Edit2));
    Edit3->setValidator(new CharacterRuleValidator(&orvane::NumberKeyAllowed, Edit3));
    Edit4->setValidator(new CharacterRuleValidator(&orvane::NumberKeyAllowed, Edit4));
    ListView1->installEventFilter(this);

    // The account list starts drags of its selected rows by itself; both
    // lists accept every drag, and only the group list acts on a drop.
    ListView1->setDragEnabled(true);
    ListView1->setDragDropMode(QAbstractItemView::DragOnly);
    for (QTreeWidget* list : {ListView1, ListView2}) {
        list->setAcceptDrops(true);
        list->viewport()->setAcceptDrops(true);
        list->viewport()->installEventFilter(this);
    }
}

bool TUMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == ListView1) {
            guarded([&] { ListView1KeyDown(key->key(), key->modifiers()); });
            return false;
        }
        if (watched == Edit2 || watched == Edit3 || watched == Edit4)
            return filterKeyPress(watched, key);
    }
    if (event->type() == QEvent::InputMethod &&
        (watched == Edit2 || watched == Edit3 || watched == Edit4)) {
        // Refused characters go before the box cuts the text to its length.
        auto* input = static_cast<QInputMethodEvent*>(event);
        const auto* rule = static_cast<const orvane::ui::CharacterRuleValidator*>(
            static_cast<QLineEdit*>(watched)->validator());
        input->setCommitString(rule->kept(input->commitString()), input->replacementStart(),
                               input->replacementLength());
        return false;
    }
    if (watched == ListView1->viewport() || watched == ListView2->viewport())
        return filterDrag(watched, event);
    return QMainWindow::eventFilter(watched, event);
}

bool TUMainForm::filterKeyPress(QObject* watched, QKeyEvent* event) {
    auto* box = static_cast<QLineEdit*>(watched);
    if (event->matches(QKeySequence::Paste) && !box->isReadOnly()) {
        // Refused characters go before the box cuts the text to its length.
        const auto* rule = static_cast<const orvane::ui::CharacterRuleValidator*>(box->validator());
        box->insert(rule->kept(QGuiApplication::clipboard()->text()));
        return true;
    }
    void (TUMainForm::*filter)(QChar&) = box == Edit2   ? &TUMainForm::Edit2KeyPress
                                         : box == Edit3 ? &TUMainForm::Edit3KeyPress
                                                        : &TUMainForm::Edit4KeyPress;
    // Only typed characters are judged: shortcuts (Ctrl+V, Ctrl+A ...) and keys
    // that type no character (Tab, Delete, Backspace, arrows, whose text is a
    // control character) are the edit box's own.
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = event->text();
    if (text.isEmpty() || std::any_of(text.begin(), text.end(),
                                      [](QChar c) { return c.category() == QChar::Other_Control; }))
        return false;
    // Every typed character passes the filter; one it discards discards the key.
    for (QChar c : text) {
        QChar key = c;
        (this->*filter)(key);
        if (key.isNull())
            return true;
    }
    return false;
}

bool TUMainForm::filterDrag(QObject* viewport, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        // A press with Shift or Ctrl only changes the selection: no drag.
        if (viewport == ListView1->viewport()) {
            const auto* press = static_cast<QMouseEvent*>(event);
            ListView1->setDragEnabled(
                !(press->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)));
        }
        return false;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // ListView1DragOver and ListView2DragOver: every drag is accepted, as a
        // copy: a move would have the source (this list, or another program)
        // remove what was dragged.
        auto* move = static_cast<QDragMoveEvent*>(event);
        if (move->possibleActions() & Qt::CopyAction) {
            move->setDropAction(Qt::CopyAction);
            move->accept();
        } else {
            move->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!(drop->possibleActions() & Qt::CopyAction)) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (viewport == ListView2->viewport()) {
            const QPoint at = drop->position().toPoint();
            runCommand([&] { ListView2DragDrop(at.x(), at.y()); });
        }
        return true;
    }
    default:
        return false;
    }
}

void TUMainForm::closeEvent(QCloseEvent* event) {
    // A running command ends at its next row; the program ends once it has.
    m_closing = true;
    QMainWindow::closeEvent(event);
}
