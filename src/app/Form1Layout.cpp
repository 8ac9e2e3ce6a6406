#include "app/Form1Layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace qm {

namespace {

class RowHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), kImageListRowHeight));
        return size;
    }
};

// A command button whose caption wraps onto more lines when it does not fit on one.
class WrappingButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        painter.setPen(
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        painter.drawText(rect().adjusted(4, 2, -4, -2),
                         Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, caption);
    }
};

// A list's header that runs to the list's right edge, as a Windows list view's does: the room
// right of the last column is drawn as an empty header section, not left blank.
class FullWidthHeader : public QHeaderView {
public:
    using QHeaderView::QHeaderView;

protected:
    void paintEvent(QPaintEvent* event) override {
        QHeaderView::paintEvent(event);
        const int end = length() - offset();
        if (count() == 0 || end >= viewport()->width()) {
            return;
        }
        QPainter painter(viewport());
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.rect = QRect(end, 0, viewport()->width() - end, viewport()->height());
        option.section = count();
        option.position = QStyleOptionHeader::End;
        option.text.clear();
        style()->drawControl(QStyle::CE_Header, &option, &painter, this);
    }
};

QLabel* label(QWidget* parent, const char* text) {
    auto* l = new QLabel(QLatin1String(text), parent);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QPushButton* button(QWidget* parent, const char* text) {
    auto* b = new WrappingButton(QLatin1String(text), parent);
    b->setAutoDefault(true); // a focused button takes Enter, as a command button does
    return b;
}

QTreeWidget* rightsList(QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setHeader(new FullWidthHeader(Qt::Horizontal, list));
    list->setColumnCount(2);
    list->setHeaderLabels({QStringLiteral("Users"), QStringLiteral("Rights")});
    list->headerItem()->setData(1, kListKeyRole, QStringLiteral("Rights"));
    // 2647 and 2540 hundredths of a millimetre.
    list->setColumnWidth(0, twipsToPixels(2647 * 1440 / 2540.0));
    list->setColumnWidth(1, twipsToPixels(1440));
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    return list;
}

QFrame* line(QWidget* parent, const char* name, int y, const QColor& color) {
    auto* l = new QFrame(parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(0, twipsToPixels(y), twipsToPixels(7290), 1);
    l->setAutoFillBackground(true);
    QPalette palette = l->palette();
    palette.setColor(QPalette::Window, color);
    l->setPalette(palette);
    return l;
}

} // namespace

int fieldSettingsTop(QMainWindow& window, const Form1Controls& c) {
    const QWidget* menu = window.menuWidget();
    const int menuHeight = menu ? std::max(menu->height(), menu->sizeHint().height()) : 0;
    return menuHeight + c.fraFiles->geometry().top();
}

void attachImageList(QTreeWidget& list) {
    if (!dynamic_cast<RowHeightDelegate*>(list.itemDelegate())) {
        list.setItemDelegate(new RowHeightDelegate(&list));
    }
    list.setIconSize(QSize(1, kImageListRowHeight));
}

void buildForm1Layout(QMainWindow& window, Form1Controls& c) {
    window.setObjectName(QStringLiteral("Form1"));
    window.setWindowTitle(QStringLiteral("Quillmark"));
    window.setFont(designFont(false));

    auto* menuBar = window.menuBar();
    c.mnuOptions = menuBar->addMenu(QStringLiteral("&Options"));
    c.mnuOptions->setObjectName(QStringLiteral("mnuOptions"));
    c.mnuLocation = c.mnuOptions->addAction(QStringLiteral("Settings &Locations"));
    c.mnuLocation->setObjectName(QStringLiteral("mnuLocation"));
    c.mnuIntegrate = c.mnuOptions->addAction(QStringLiteral("&Integrate with ACT!"));
    c.mnuIntegrate->setObjectName(QStringLiteral("mnuIntegrate"));
    c.mnuReport = c.mnuOptions->addAction(QStringLiteral("Rights &Report..."));
    c.mnuReport->setObjectName(QStringLiteral("mnuReport"));
    c.mnuHelp = menuBar->addMenu(QStringLiteral("&Help"));
    c.mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    c.mnuOnline = c.mnuHelp->addAction(QStringLiteral("Online &Help"));
    c.mnuOnline->setObjectName(QStringLiteral("mnuOnline"));
    c.mnuManual = c.mnuHelp->addAction(QStringLiteral("Owners &Manual"));
    c.mnuManual->setObjectName(QStringLiteral("mnuManual"));
    c.mnuAbout = c.mnuHelp->addAction(QStringLiteral("&About"));
    c.mnuAbout->setObjectName(QStringLiteral("mnuAbout"));

    auto* client = new QWidget(&window);
    client->setObjectName(QStringLiteral("client"));
    window.setCentralWidget(client);

    Placer p;
    // In the order the window declares them.
    c.cboFloating = p.place(new QComboBox(client), "cboFloating", 6060, 5640, 1125, 315, 19);
    c.tmr1 = new QTimer(&window);
    c.tmr1->setObjectName(QStringLiteral("tmr1"));
    c.cmdFieldSettings =
        p.place(button(client, "&Show Field Settings "), "cmdFieldSettings", 6075, 2040, 1000, 525, 15);
    c.cmdCancel = p.place(button(client, "&Cancel"), "cmdCancel", 6060, 660, 1000, 325, 3);
    c.cmdClose = p.place(button(client, "&Close"), "cmdClose", 6060, 225, 1000, 325, 2);
    c.cmdClose->setDefault(true);

    c.fraUsers = p.place(new QGroupBox(QStringLiteral("Authorized Users :"), client), "fraUsers", 240, 135,
                         5655, 2580, 1);
    c.lvwUsers = p.place(rightsList(c.fraUsers), "lvwUsers", 240, 525, 4080, 1665, 6);
    c.lblDefault = p.place(label(c.fraUsers, "These settings apply to all protected fields by default."),
                           "lblDefault", 255, 2235, 5025, 285, 18);
    c.lblGlobalSettings =
        p.place(label(c.fraUsers, "Global Settings :"), "lblGlobalSettings", 240, 285, 2970, 285, 10);

    c.fraFiles = p.place(new QGroupBox(QStringLiteral("Protected Fields Settings :"), client), "fraFiles",
                         240, 2880, 5655, 5595, 0);
    c.chkEdit = p.place(new QCheckBox(QStringLiteral("Allow editing"), c.fraFiles), "chkEdit", 2415, 5175,
                        1755, 240, 17);
    c.chkOnlyFromDropdown = p.place(new QCheckBox(QStringLiteral("Only from Drop-down"), c.fraFiles),
                                    "chkOnlyFromDropdown", 270, 5175, 4080, 240, 16);
    c.optUsers[1] = p.place(new QRadioButton(QStringLiteral("Use Settings below"), c.fraFiles), "optUsers_1",
                            2280, 1425, 1725, 270, 12);
    c.optUsers[0] = p.place(new QRadioButton(QStringLiteral("Use Global Settings"), c.fraFiles), "optUsers_0",
                            450, 1410, 2205, 270, 11);
    c.cmdSave = p.place(button(c.fraFiles, "Save"), "cmdSave", 4425, 600, 1000, 325, 7);
    c.cboFields = p.place(new QComboBox(c.fraFiles), "cboFields", 270, 600, 4080, 315, 5);
    c.rtfData = p.place(new QPlainTextEdit(c.fraFiles), "rtfData", 270, 3855, 4080, 1305, 4);
    c.lvwSpecialUsers = p.place(rightsList(c.fraFiles), "lvwSpecialUsers", 285, 1755, 4080, 1665, 13);
    c.lblSelect =
        p.place(label(c.fraFiles, "Select a Protected Field :"), "lblSelect", 270, 375, 4035, 285, 14);
    c.lblAuthorizedUsers1 = p.place(label(c.fraFiles, "Authorized Users for this Protected Field :"),
                                    "lblAuthorizedUsers1", 285, 1155, 4095, 285, 9);
    c.lblDropdown = p.place(label(c.fraFiles, "Drop-down list (leave blank if drop-down not needed) :"),
                            "lblDropdown", 270, 3600, 4125, 285, 8);
    // Beside the field settings panel, under its button: what a Save kept of another administrator's
    // changes. Not in the tab order.
    c.lblStatus = label(client, "");
    c.lblStatus->setObjectName(QStringLiteral("lblStatus"));
    c.lblStatus->setGeometry(twipsRect(6060, 3015, 1155, 5355));
    c.lblStatus->setWordWrap(true);
    c.lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    c.lblStatus->setFont(designFont(false));
    c.lin1[1] = line(client, "lin1_1", 10, Qt::white);
    c.lin1[0] = line(client, "lin1_0", 0, QColor(128, 128, 128));

    // Frame captions are bold; what the frames hold is not.
    for (QGroupBox* frame : {c.fraUsers, c.fraFiles}) {
        frame->setFont(designFont(true));
        frame->setFocusPolicy(Qt::NoFocus);
        for (QWidget* child : frame->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            child->setFont(designFont(false));
        }
    }

    // A combo box of thousands of fields must not measure every entry for its size.
    c.cboFields->setEditable(true);
    c.cboFields->setInsertPolicy(QComboBox::NoInsert);
    c.cboFields->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c.cboFields->setMinimumContentsLength(1);
    if (auto* view = qobject_cast<QListView*>(c.cboFields->view())) {
        view->setUniformItemSizes(true);
    }
    c.cboFields->setEditText(QStringLiteral("Combo1"));
    c.cboFloating->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    c.rtfData->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    c.rtfData->setTabChangesFocus(true);

    c.cmdSave->setEnabled(false);
    c.rtfData->setEnabled(false); // the first field selected enables it
    c.chkEdit->setEnabled(false);
    c.chkOnlyFromDropdown->setEnabled(false);
    c.optUsers[0]->setEnabled(false);
    c.optUsers[1]->setEnabled(false);
    c.optUsers[0]->setChecked(true);

    p.finish();
    c.cmdClose->setFocus(); // the lowest tab index that takes the focus
    window.resize(twipsToPixels(kForm1ClientWidth),
                  twipsToPixels(kForm1ClientHeight) + menuBar->sizeHint().height());
}

} // namespace qm
