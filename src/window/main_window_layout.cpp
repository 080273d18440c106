// SPDX-License-Identifier: GPL-3.0-or-later
// Controls and menus of the main window.
#include "catalogue/catalogue.h"
#include "catalogue/result_table_model.h"
#include "session/named.h"
#include "window/elided_label.h"
#include "window/grid_setup.h"
#include "window/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace pelmora {
namespace {

QFrame* divider(QWidget* parent, const char* name)
{
    auto* line = named(new QFrame(parent), name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setAccessibleName(QStringLiteral("区切り線"));
    return line;
}

} // namespace

void QRV_Main::build_controls()
{
    auto* central = new QWidget(this);
    auto* root = new QVBoxLayout(central);
    root->setContentsMargins(10, 8, 10, 8);
    root->setSpacing(8);

    // Top row: document type, root, selection mode.
    auto* top = new QHBoxLayout;
    fra_type = named(new QGroupBox(QStringLiteral("文書タイプ選択"), central), "fra_type");
    auto* typeLayout = new QHBoxLayout(fra_type);
    opt[0] = named(new QRadioButton(QStringLiteral("Excel"), fra_type), "opt_0");
    opt[1] = named(new QRadioButton(QStringLiteral("Word"), fra_type), "opt_1");
    opt[0]->setChecked(true);
    typeLayout->addWidget(opt[0]);
    typeLayout->addWidget(opt[1]);
    top->addWidget(fra_type);

    Text_Sufix = named(new QLineEdit(QStringLiteral("XLS"), central), "Text_Sufix");
    Text_Sufix->setVisible(false);

    auto* rootBox = new QVBoxLayout;
    Label1 = named(new QLabel(QStringLiteral("読込ドライブの選択："), central), "Label1");
    dir1 = named(new QComboBox(central), "dir1");
    dir1->setMinimumWidth(260);
    // A long mount path is shortened in the box rather than widening the window.
    dir1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    dir1->setMinimumContentsLength(24);
    Label1->setBuddy(dir1);
    rootBox->addWidget(Label1);
    rootBox->addWidget(dir1);
    top->addLayout(rootBox, 1);

    Frame3 = named(new QGroupBox(QStringLiteral("ファイル選択モード"), central), "Frame3");
    auto* modeLayout = new QHBoxLayout(Frame3);
    opt_f[0] = named(new QRadioButton(QStringLiteral("単一選択"), Frame3), "opt_f_0");
    opt_f[1] = named(new QRadioButton(QStringLiteral("複数選択"), Frame3), "opt_f_1");
    opt_f[0]->setChecked(true);
    modeLayout->addWidget(opt_f[0]);
    modeLayout->addWidget(opt_f[1]);
    top->addWidget(Frame3);
    root->addLayout(top);

    // Middle: the result grid and the preview frame, the divider between them movable.
    auto* middle = named(new QSplitter(Qt::Horizontal, central), "Splitter1");
    middle->setChildrenCollapsible(false);
    middle->setAccessibleName(QStringLiteral("一覧とプレビューの境界"));
    // The list side: the filter box above the grid.
    auto* listPane = new QWidget(middle);
    auto* listLayout = new QVBoxLayout(listPane);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(4);
    txt_filter = named(new QLineEdit(listPane), "txt_filter");
    txt_filter->setPlaceholderText(QStringLiteral("絞り込み"));
    txt_filter->setAccessibleName(QStringLiteral("絞り込み"));
    txt_filter->setClearButtonEnabled(true);
    listLayout->addWidget(txt_filter);
    grd1 = named(new QTableView(listPane), "grd1");
    grd1->setModel(m_results.get());
    grd1->setAccessibleName(QStringLiteral("検索一覧"));
    setup_grid_view(grd1);
    set_column_twips(grd1, ResultTableModel::NameColumn, kNameColumnTwips);
    elide_column_at_start(grd1, ResultTableModel::FolderColumn);
    // The refresh width is the narrower one; the start width is the widest the grid is given.
    m_folderColumn = new StretchColumn(grd1, ResultTableModel::FolderColumn, kFolderColumnTwips);
    // A header click sorts the rows by that column; a second click on it reverses the order.
    // The header keeps the indicator (the model asks for ascending first); none while the
    // rows are in the listing's own order.
    QHeaderView* header = grd1->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, m_results.get(),
            [this](int column, Qt::SortOrder order) {
                if (column >= 0)
                    m_results->sort(column, order);
            });
    listLayout->addWidget(grd1, 1);
    middle->addWidget(listPane);

    Frame2 = named(new QGroupBox(middle), "Frame2");
    Frame2->setAccessibleName(QStringLiteral("プレビュー"));
    auto* preview = new QVBoxLayout(Frame2);
    chk = named(new QCheckBox(QStringLiteral("プレビュー"), Frame2), "chk");
    preview->addWidget(chk);
    preview->addWidget(divider(Frame2, "Line1"));
    OLE1 = named(new QLabel(Frame2), "OLE1");
    OLE1->setAlignment(Qt::AlignCenter);
    // Small enough for a 960x540 room (1920x1080 at 200 %); a larger window gives it more.
    OLE1->setMinimumSize(240, 160);
    OLE1->setFrameShape(QFrame::StyledPanel);
    OLE1->setStyleSheet(QStringLiteral("QLabel#OLE1 { background: #ffffff; }"));
    OLE1->setAccessibleName(QStringLiteral("プレビュー画像"));
    preview->addWidget(OLE1, 1);
    preview->addWidget(divider(Frame2, "Line2"));
    auto* labels = new QGridLayout;
    auto* Label4 = named(new QLabel(QStringLiteral("ファイル名："), Frame2), "Label4");
    labels->addWidget(Label4, 0, 0);
    lbl_filename = named(new ElidedLabel(Frame2), "lbl_filename");
    lbl_filename->setAccessibleDescription(Label4->text());
    lbl_filename->setTextInteractionFlags(Qt::TextSelectableByMouse);
    labels->addWidget(lbl_filename, 0, 1);
    auto* Label5 = named(new QLabel(QStringLiteral("最終更新日："), Frame2), "Label5");
    labels->addWidget(Label5, 1, 0);
    lbl_lastup = named(new ElidedLabel(Frame2, Qt::ElideRight), "lbl_lastup");
    lbl_lastup->setAccessibleDescription(Label5->text());
    labels->addWidget(lbl_lastup, 1, 1);
    labels->setColumnStretch(1, 1);
    preview->addLayout(labels);
    middle->addWidget(Frame2);
    middle->setStretchFactor(0, 3);
    middle->setStretchFactor(1, 2);
    root->addWidget(middle, 1);

    // Bottom: count, folder being read, buttons.
    auto* bottom = new QHBoxLayout;
    Label2 = named(new QLabel(QStringLiteral("合計"), central), "Label2");
    Label_Count = named(new QLabel(QStringLiteral("0"), central), "Label_Count");
    Label_Count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont countFont = Label_Count->font();
    countFont.setBold(true);
    Label_Count->setFont(countFont);
    // Room for eight digits, so a count that grows during a scan is never clipped.
    Label_Count->setMinimumWidth(
        QFontMetrics(countFont).horizontalAdvance(QStringLiteral("8")) * 8 + 4);
    Label_Count->setAccessibleDescription(QStringLiteral("合計 ファイル"));
    Label3 = named(new QLabel(QStringLiteral("ファイル"), central), "Label3");
    bottom->addWidget(Label2);
    bottom->addWidget(Label_Count);
    bottom->addWidget(Label3);
    lbl_marked = named(new QLabel(central), "lbl_marked");
    lbl_marked->setVisible(false);
    bottom->addSpacing(12);
    bottom->addWidget(lbl_marked);
    Label_CurrentPath = named(new ElidedLabel(central), "Label_CurrentPath");
    Label_CurrentPath->setMinimumWidth(120);
    Label_CurrentPath->setStyleSheet(QStringLiteral("color: #606060;"));
    Label_CurrentPath->setAccessibleDescription(QStringLiteral("読込中のフォルダ"));
    bottom->addSpacing(16);
    bottom->addWidget(Label_CurrentPath, 1);
    Command1 = named(new QPushButton(QStringLiteral("最新の情報に更新(&R)"), central), "Command1");
    Command1->setAutoFillBackground(true);
    cmd_open =
        named(new QPushButton(QStringLiteral("選択ファイルを開く(&O)"), central), "cmd_open");
    cmd_end = named(new QPushButton(QStringLiteral("終了(&E)"), central), "cmd_end");
    bottom->addWidget(Command1);
    bottom->addWidget(cmd_open);
    bottom->addWidget(cmd_end);
    root->addLayout(bottom);

    setCentralWidget(central);
    dir1->setAccessibleName(Label1->text());
    fra_type->setAccessibleName(fra_type->title());
    Frame3->setAccessibleName(Frame3->title());

    // Tab walks the window from top left to bottom right and leaves the grid again.
    QWidget* order[] = {opt[0], opt[1], dir1,     opt_f[0], opt_f[1], txt_filter,
                        grd1,   chk,    Command1, cmd_open, cmd_end};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void QRV_Main::build_menus()
{
    auto action = [](QMenu* menu, const QString& text, const char* name) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QMenu* p_main = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    p_main->setObjectName(QStringLiteral("p_main"));
    p_print = action(p_main, QStringLiteral("一覧印刷(&P)"), "p_print");
    p_main->addSeparator();
    p_end = action(p_main, QStringLiteral("終了(&E)"), "p_end");

    QMenu* p_edit = menuBar()->addMenu(QStringLiteral("編集(&I)"));
    p_edit->setObjectName(QStringLiteral("p_edit"));
    p_filemove = action(p_edit, QStringLiteral("選択ファイルの移動(&O)"), "p_filemove");
    p_filecopy = action(p_edit, QStringLiteral("選択ファイルをコピーする(&K)"), "p_filecopy");
    p_dust = action(p_edit, QStringLiteral("選択ファイルをごみ箱へ移動する(&M)"), "p_dust");
    p_edit->addSeparator();
    p_lha = action(p_edit, QStringLiteral("選択ファイルの圧縮(&L)"), "p_lha");

    QMenu* p_dummy6 = menuBar()->addMenu(QStringLiteral("履歴(&J)"));
    p_dummy6->setObjectName(QStringLiteral("p_dummy6"));
    p_rireki = action(p_dummy6, QStringLiteral("操作履歴を見る(&K)"), "p_rireki");
    p_dummy6->addSeparator();
    p_undo = action(p_dummy6, QStringLiteral("1つ前の操作を元に戻す(&N)"), "p_undo");

    QMenu* p_help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    p_help->setObjectName(QStringLiteral("p_help"));
    p_use = action(p_help, QStringLiteral("トピックの検索(&U)"), "p_use");
    p_ver = action(p_help, QStringLiteral("バージョン情報(&V)"), "p_ver");
}

} // namespace pelmora
