// The options dialog: its pages and controls, built as the form defines
// them, then loaded from the settings file.
#include "settings/fmsetup.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>

#include "controls/jfont.h"
#include "controls/keypreview.h"
#include "controls/mubuttons.h"
#include "controls/mupanel.h"
#include "controls/pagecontrol.h"
#include "controls/tcolor.h"
#include "settings/mucontrols.h"
#include "settings/muedit.h"
#include "settings/setuplinks.h"
#include "util/doccodec.h"

namespace wendul {

TfmSetup* fmSetup = nullptr;

namespace {

constexpr int kClientWidth = 821;
constexpr int kClientHeight = 485;
constexpr int kNarrowWidth = 493;  // without the administrator's strip

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QGroupBox* Frame(QWidget* parent, const char* caption, QRect geometry) {
  auto* f = new QGroupBox(U(caption), parent);
  f->setGeometry(geometry);
  return f;
}

TmuEdit* NumberField(QWidget* parent, const char* name, const char* caption, const char* captionR, QRect geometry,
                     int min, int max, const char* value, bool persisted) {
  auto* ed = new TmuEdit(parent);
  ed->setObjectName(name);
  ed->setGeometry(geometry);
  ed->setText(value);
  ed->SetIsDigit(true);
  ed->IsUpperCase = true;
  ed->IsUpDown = true;
  ed->Min = min;
  ed->Max = max;
  ed->SetCaption(U(caption));
  ed->SetCaptionR(U(captionR));
  ed->IsIni = persisted;
  ed->IsNewVersionIni = true;
  return ed;
}

struct RadioDef {
  const char* suffix;
  const char* caption;
  TwdlMethod method;
  int x, y;
};

// Five choices: FilterWord, SeekWord and None on the left, the two jumps on the right.
std::vector<RadioDef> FiveChoices() {
  return {{"_FilterWord", "類似単語を抽出します", TwdlMethod::wdmtFilterWord, 12, 18},
          {"_SeekWord", "最新単語ウィンドウで検索します", TwdlMethod::wdmtSeekWord, 12, 37},
          {"_None", "何もしません", TwdlMethod::wdmtNone, 12, 56},
          {"_Goto_WordCode", "類似単語ウィンドウに行きます", TwdlMethod::wdmtGotoWordCode, 232, 18},
          {"_Goto_WordDate", "最新単語ウィンドウに行きます", TwdlMethod::wdmtGotoWordDate, 232, 37}};
}

}  // namespace

TfmSetup::TfmSetup(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("fmSetup");
  setWindowTitle(U("オプション設定"));
  setFont(JapaneseFont(true, 12));
  BuildPages();
  BuildAdminStrip();

  // Creation: an ordinary window showing everything for administrators;
  // otherwise only the pages, and above other windows.
  const bool admin = AdminLevelForSetup() != 0;
  setFixedSize(admin ? kClientWidth : kNarrowWidth, kClientHeight);
  pnAdmin->setVisible(admin);
  setWindowFlag(Qt::WindowStaysOnTopHint, !admin);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

  LoadIniControls(this);
  for (TmuComboBox* list : keyLists) FillKeyList(list);
  // Until a stored size arrives the document keeps its built-in font.
  connect(ed_mmDoc_FontSize, &QLineEdit::textChanged, this, [this] { ApplyFontSize(); });
  BuildKeyHelp();

  // Every key-down reaches the main window too, so that its function keys
  // work while the dialog has the focus.
  preview_ = std::make_unique<KeyPreview>(this, [](QKeyEvent* e) {
    if (auto& hook = MainKeyDownHook()) hook(e);
    return false;
  });
}

TfmSetup::~TfmSetup() {
  preview_.reset();
  StoreIniControls(this);
}

void TfmSetup::BuildPages() {
  PageControl1 = new TPageControl(this);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setGeometry(2, 4, 485, 440);

  auto page = [this](const char* name, const char* caption) {
    auto* p = new QWidget;
    p->setObjectName(name);
    PageControl1->AddPage(p, U(caption));
    return p;
  };
  tsMainDoc = page("tsMainDoc", "文章入力ウィンドウ");
  tsMainKWD2 = page("tsMainKWD2", "類似単語ウィンドウ");
  tsMainKWD = page("tsMainKWD", "最新単語ウィンドウ");
  tsShortCut = page("tsShortCut", "ショートカットキー");
  tsIME = page("tsIME", "日本語かな漢字変換（IME）");
  tsPublic = page("tsPublic", "全般");

  // A radio group: its buttons are named after it ("gbox" -> "rb" + suffix).
  auto group = [this](QWidget* parent, const QString& name, const char* caption, QRect geometry, TStayControl stay,
                      uint8_t key, const std::vector<RadioDef>& defs, const char* checked) {
    auto* g = new TmuGroupBox(U(caption), parent);
    g->setObjectName(name);
    g->setGeometry(geometry);
    g->IsIni = true;
    groups.push_back(g);
    const QString prefix = "rb" + name.mid(4);
    for (const RadioDef& d : defs) {
      auto* rb = new TmuRadioButton_Wendul(U(d.caption), g, d.method, key, stay);
      rb->setObjectName(prefix + d.suffix);
      rb->move(d.x, d.y);
      rb->resize(rb->sizeHint());
      if (QString(d.suffix) == checked) rb->setChecked(true);
    }
    return g;
  };

  // 1. The document pane.
  {
    QGroupBox* frame = Frame(tsMainDoc, "文章入力ウィンドウで", QRect(6, 4, 469, 332));
    const std::vector<RadioDef> tab = {
        {"_Goto_WordCode", "類似単語ウィンドウに行きます", TwdlMethod::wdmtGotoWordCode, 232, 18},
        {"_Goto_WordDate", "最新単語ウィンドウに行きます", TwdlMethod::wdmtGotoWordDate, 232, 37},
        {"_None", "何もしません", TwdlMethod::wdmtNone, 12, 18}};
    struct {
      const char* key;
      const char* caption;
      uint8_t bit;
      const char* checked;
    } keys[] = {{"Shift", "SHIFTキーを押したとき", ckShift, "_FilterWord"},
                {"Alt", "ALTキーを押したとき", ckAlt, "_Goto_WordDate"},
                {"Ctrl", "CTRLキーを押したとき", ckCtrl, "_SeekWord"}};
    int y = 20;
    for (const auto& k : keys) {
      group(frame, QString("gbox_mmDoc_KeyDown_") + k.key, k.caption, QRect(8, y, 453, 78), TStayControl::scDoc, k.bit,
            FiveChoices(), k.checked);
      y += 82;
    }
    group(frame, "gbox_mmDoc_KeyDown_Tab", "TABキーを押したとき", QRect(8, y, 453, 60), TStayControl::scDoc, ckTab, tab,
          "_Goto_WordCode");
    ed_mmDoc_FontSize = NumberField(tsMainDoc, "ed_mmDoc_FontSize", "文章入力ウィンドウのフォントサイズ", "",
                                    QRect(250, 346, 40, 21), 0, 100, "11", true);
  }

  // 2. and 3. The word panes: may a key go back to the document?
  auto wordPage = [&](QWidget* pageWidget, const char* pane, const char* frameCaption, TStayControl stay,
                      const char* const defaults[5]) {
    QGroupBox* frame = Frame(pageWidget, frameCaption, QRect(6, 4, 469, 262));
    struct {
      const char* key;
      const char* caption;
      uint8_t bit;
    } keys[] = {{"Esc", "ESCキーを押したとき文章入力ウィンドウに", ckEsc},
                {"Shift", "SHIFTキーを押したとき文章入力ウィンドウに", ckShift},
                {"Alt", "ALTキーを押したとき文章入力ウィンドウに", ckAlt},
                {"Ctrl", "CTRLキーを押したとき文章入力ウィンドウに", ckCtrl},
                {"Tab", "TABキーを押したとき文章入力ウィンドウに", ckTab}};
    const std::vector<RadioDef> backOrNot = {{"_GotoDoc", "戻る", TwdlMethod::wdmtGotoDoc, 12, 18},
                                             {"_None", "戻らない", TwdlMethod::wdmtNone, 132, 18}};
    for (int i = 0; i < 5; ++i) {
      group(frame, QString("gbox_%1_KeyDown_%2").arg(pane, keys[i].key), keys[i].caption,
            QRect(8, 20 + i * 48, 453, 44), stay, keys[i].bit, backOrNot, defaults[i]);
    }
    TmuEdit* down = NumberField(pageWidget, QString("ed_%1_NLineDown").arg(pane).toLatin1().constData(),
                                "右矢印キーを押したとき", "行下がる", QRect(190, 282, 40, 21), 0, 100, "8", true);
    TmuEdit* up = NumberField(pageWidget, QString("ed_%1_NLineUp").arg(pane).toLatin1().constData(),
                              "左矢印キーを押したとき", "行上がる", QRect(190, 314, 40, 21), 0, 100, "8", true);
    // ENTER and F12 go from one field to the other.
    down->muNextControl = down->muPrevControl = up;
    up->muNextControl = up->muPrevControl = down;
    return std::make_pair(down, up);
  };
  static const char* const kWordCodeDefaults[5] = {"_GotoDoc", "_GotoDoc", "_None", "_None", "_GotoDoc"};
  static const char* const kWordDateDefaults[5] = {"_GotoDoc", "_None", "_GotoDoc", "_GotoDoc", "_None"};
  std::tie(ed_WordCode_NLineDown, ed_WordCode_NLineUp) =
      wordPage(tsMainKWD2, "WordCode", "類似単語ウィンドウで", TStayControl::scWordCode, kWordCodeDefaults);
  std::tie(ed_WordDate_NLineDown, ed_WordDate_NLineUp) =
      wordPage(tsMainKWD, "WordDate", "最新順単語ウィンドウで", TStayControl::scWordDate, kWordDateDefaults);

  // 4. Function keys.
  {
    QGroupBox* frame = Frame(tsShortCut, "ショートカットキー設定", QRect(6, 4, 469, 350));
    static const char* const kLists[][2] = {
        {"cmbxSeekWord", "類似単語抽出"},
        {"cmbxSetFocusLog", "文章入力ウィンドウにジャンプ"},
        {"cmbxSetFocusWordCode", "類似単語ウィンドウにジャンプ"},
        {"cmbxSetFocusWordDate", "最新単語ウィンドウにジャンプ"},
        {"cmbxSplitKeyword_SelectString", "選択した文章から単語を切り出す"},
        {"cmbxSplitKeyword_PrevString", "直前の文章から単語を切り出す"},
        {"cmbxChgKeywordSort", "最新単語ウィンドウの並び順の切り替え"},
        {"cmbxExecute", "URL実行"},
        {"cmbxExportMozcDict", "Mozc辞書に書き出し"},
        {"cmbxImportMozcDict", "Mozc辞書から読み込み"},
        {"cmbxAppClose", "Wendulの終了"},
    };
    int y = 26;
    for (const auto& l : kLists) {
      AddKeyList(frame, l[0], l[1], QRect(280, y, 100, 22));
      y += 29;
    }
  }

  // 5. Input-method colours: a sample panel and its two "選択" buttons per state.
  {
    QGroupBox* frame = Frame(tsIME, "日本語かな漢字変換（IME）の設定", QRect(6, 4, 469, 270));
    auto head = [frame](const char* text, int x, int w) {
      auto* l = new QLabel(U(text), frame);
      l->setGeometry(x, 22, w, 18);
      l->setAlignment(Qt::AlignCenter);
    };
    head("IMEの未確定時の色", 16, 200);
    head("文字の色", 232, 88);
    head("バックの色", 340, 88);
    struct {
      const char* name;
      const char* caption;
      int32_t color, font;
      TmuPanel** out;
    } rows[] = {{"IMEColorInput", "入力中の色", 0xFFFFFF, 0xFF0000, &pnIMEColorInput},
                {"IMEColorChange01", "変換中の色（カレント）", 0x00FFFF, kClWindowText, &pnIMEColorChange01},
                {"IMEColorChange02", "変換中の色（その他）", 0x00FF00, 0x000000, &pnIMEColorChange02},
                {"IMEColorSelect", "変換範囲設定中の色", 0xFF0000, 0xFFFFFF, &pnIMEColorSelect}};
    int y = 44;
    for (const auto& r : rows) {
      auto* pn = new TmuPanel(frame);
      pn->setObjectName(QString("pn") + r.name);
      pn->SetCaption(U(r.caption));
      pn->setGeometry(16, y, 200, 32);
      pn->SetColorValue(r.color);
      pn->SetFontColorValue(r.font);
      pn->IsIni = true;
      *r.out = pn;
      int x = 232;
      for (const char* kind : {"btF", "btB"}) {
        auto* bt = new TmuButton(U("選択"), frame);
        bt->setObjectName(QString(kind) + r.name);
        bt->setGeometry(x, y + 3, 88, 26);
        connect(bt, &QPushButton::clicked, this, [this, bt] { IMEColorButtonClick(bt); });
        x += 108;
      }
      y += 44;
    }
    cbxIsIMEOn = new TmuCheckBox(U("Wendul起動時にIMEを&ONにする"), frame);
    cbxIsIMEOn->setObjectName("cbxIsIMEOn");
    cbxIsIMEOn->setGeometry(16, 232, 440, 22);
    cbxIsIMEOn->setChecked(true);
    cbxIsIMEOn->IsIni = true;
  }

  // 6. General.
  cbxIsShowShortCutKeyHelp = new TmuCheckBox(U("入力ウィンドウでショートカットキーのヘルプを表示をする"), tsPublic);
  cbxIsShowShortCutKeyHelp->setObjectName("cbxIsShowShortCutKeyHelp");
  cbxIsShowShortCutKeyHelp->setGeometry(16, 16, 450, 22);
  cbxIsShowShortCutKeyHelp->setChecked(true);
  cbxIsShowShortCutKeyHelp->IsIni = true;
  connect(cbxIsShowShortCutKeyHelp, &QCheckBox::clicked, this, [this] {
    // Unchecked: the main window's help line empties at once.
    QObject* main = MainWindowObject();
    if (!main || cbxIsShowShortCutKeyHelp->isChecked()) return;
    if (auto* line = main->findChild<TmuPanel*>("pnMessage")) line->SetCaption(QString());
  });

  cmbxNewDocEncoding = new TmuComboBox(tsPublic);
  cmbxNewDocEncoding->setObjectName("cmbxNewDocEncoding");
  cmbxNewDocEncoding->SetCaption(U("新しい文書と日記ファイルの文字コード"));
  cmbxNewDocEncoding->setGeometry(250, 52, 200, 24);
  for (const DocCodec& c : CodecChoices()) cmbxNewDocEncoding->addItem(QString::fromStdString(CodecChoiceCaption(c)));
  cmbxNewDocEncoding->IsIni = true;

  PageControl1->SetActivePage(tsShortCut);

  btClose = new TmuButton(U("閉じる"), this);
  btClose->setObjectName("btClose");
  btClose->setGeometry(392, 452, 92, 27);
  connect(btClose, &QPushButton::clicked, this, [this] { btCloseClick(); });
}

TmuComboBox* TfmSetup::AddKeyList(QWidget* parent, const char* name, const char* label, QRect geometry) {
  auto* list = new TmuComboBox(parent);
  list->setObjectName(name);
  list->SetCaption(U(label));
  list->setGeometry(geometry);
  keyLists.push_back(list);
  connect(list, &TmuComboBox::Exited, this, [this](TmuComboBox* l) { KeyListExit(l); });
  return list;
}

void TfmSetup::BuildAdminStrip() {
  pnAdmin = new QWidget(this);
  pnAdmin->setObjectName("pnAdmin");
  pnAdmin->setGeometry(kNarrowWidth, 0, kClientWidth - kNarrowWidth, kClientHeight);
  static const char* const kLists[][2] = {{"cmbxSetFocusDate", "Date"}, {"cmbxPrevDay", "PrevDay"},
                                          {"cmbxNextDay", "NextDay"},   {"cmbxOpenMail", "Mail"},
                                          {"cmbxSearchWord", "文字検索"}, {"cmbxGrep", "GREP"}};
  int y = 10;
  for (const auto& l : kLists) {
    AddKeyList(pnAdmin, l[0], l[1], QRect(80, y, 90, 22));
    y += 28;
  }
  btTest = new TmuButton("btTest", pnAdmin);
  btTest->setObjectName("btTest");
  btTest->setGeometry(190, 10, 120, 26);
  connect(btTest, &QPushButton::clicked, this, [this] { BuildKeyHelpTest(); });
  mmTest = new QPlainTextEdit(pnAdmin);
  mmTest->setObjectName("mmTest");
  mmTest->setGeometry(190, 42, 120, 88);
  muEdit1 = NumberField(pnAdmin, "muEdit1", "", "", QRect(190, 140, 40, 21), 1, 9, "0", false);

  QGroupBox* seek = Frame(pnAdmin, "単語検索（自動）するキー", QRect(8, 184, 150, 96));
  QGroupBox* kwd = Frame(pnAdmin, "KwdFocus", QRect(166, 184, 150, 96));
  QGroupBox* doc = Frame(pnAdmin, "DocFocus", QRect(8, 288, 150, 96));
  struct {
    QWidget* parent;
    const char* name;
    const char* caption;
    bool checked;
    int y;
  } boxes[] = {{seek, "cbxIsSeekKeywordALt", "ALTキー", false, 20},
               {seek, "cbxIsSeekKeywordCtrl", "CTRLキー", false, 44},
               {seek, "cbxIsSeekKeywordShift", "SHIFTキー", true, 68},
               {kwd, "cbxIsKwdFocusCtrl", "CTRLキー", true, 20},
               {kwd, "cbxIsKwdFocusAlt", "ALTキー", true, 44},
               {kwd, "cbxIsKwdFocusShift", "SHIFTキー", false, 68},
               {doc, "cbxIsDocFocusCtrl", "CTRLキー", true, 20},
               {doc, "cbxIsDocFocusAlt", "ALTキー", true, 44},
               {doc, "cbxIsDocFocusShift", "SHIFTキー", true, 68}};
  for (const auto& b : boxes) {
    auto* c = new TmuCheckBox(U(b.caption), b.parent);
    c->setObjectName(b.name);
    c->setGeometry(8, b.y, b.parent->width() - 12, 22);
    c->setChecked(b.checked);
  }
  QGroupBox* words = Frame(pnAdmin, "単語登録", QRect(8, 392, 312, 56));
  cbxIsSplitAllChar = new TmuCheckBox(U("句読点、リターンキー以外の入力でも単語を切り出す"), words);
  cbxIsSplitAllChar->setObjectName("cbxIsSplitAllChar");
  cbxIsSplitAllChar->setGeometry(8, 22, 300, 22);
  cbxIsSplitAllChar->setChecked(true);
  cbxIsSplitAllChar->IsIni = true;
}

TmuGroupBox* TfmSetup::FindGroup(const QString& name) const {
  for (TmuGroupBox* g : groups)
    if (g->objectName() == name) return g;
  return nullptr;
}

TmuComboBox* TfmSetup::FindKeyList(const QString& name) const {
  for (TmuComboBox* list : keyLists)
    if (list->objectName() == name) return list;
  return nullptr;
}

void TfmSetup::ShowSetup() {
  setWindowFlag(Qt::WindowStaysOnTopHint, AdminLevelForSetup() == 0);
  show();
  raise();
  activateWindow();
}

}  // namespace wendul
