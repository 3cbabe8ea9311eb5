#include "app/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QSaveFile>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>
#include <QWindowStateChangeEvent>

#include "app/app_icons.h"
#include "app/cool_tray_icon.h"
#include "app/history_page.h"
#include "app/image_list.h"
#include "app/popup_menu.h"
#include "app/setting_bytes.h"
#include "controller/history/backup_outcomes.h"
#include "controller/jobs/offsite/offsite_place.h"
#include "controller/jobs/offsite/offsite_restore_job.h"
#include "controller/plan_status/plan_status.h"
#include "controller/quorvin.h"
#include "controller/settings/settings_file.h"
#include "controller/status_texts.h"
#include "dialogs/offsite_chooser.h"
#include "dialogs/params_form.h"
#include "dialogs/plan_form.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "runner/ui_seams.h"

namespace {

// The program's texts.
const char* const TextRestoreItem = "Восстановить";     // string 65116
const char* const TextExitItem = "Закрыть";             // string 65117
const char* const TextFileCreated = "Файл %1 создан.";  // string 65118
const char* const TextBackupFailed = "Создать резервную копию не удалось !";
const char* const TextBusy =
    "Идёт резервное копирование или восстановление.\n"
    "Дождитесь его окончания.";
const char* const TextAbout = "Quorvin  v1.0 от 15.12.2005";
const char* const TextAuthor = "Автор: команда Quorvin";
const char* const TextYear = "2005 - 2026";
const char* const TextMail = "quorvin@example.org";
const char* const TextSite = "www.example.org/quorvin";
const char* const TextSettingsPath = "Файл настроек: %1";
const char* const TextLogPath = "Папка журналов: %1";
const char* const TextReplaceFile = "Файл %1 уже существует.\nЗаменить его?";
const char* const TextPlanRunElsewhere =
    "Расписание этих настроек уже выполняет другая программа:\n%1\n"
    "Второе расписание не запущено.";
const char* const TextFromStore = "Из хранилища…";
const char* const TextFromStoreTip = "Выбрать копию в объектном хранилище";
const char* const TextNoStore =
    "Место в объектном хранилище не задано: задайте его в параметрах, в группе «Копия в объектном хранилище»";
const char* const TextStoreExists =
    "База данных %1 уже существует.\nИз объектного хранилища восстанавливается только новая база: укажите другое имя.";
const char* const TextStoreNoTarget = "Укажите, под каким именем восстановить новую базу данных.";
const char* const TextJobWaits = "Задание начнётся, когда закончится текущее:\n%1";
const char* const TextVerified = "Проверена пробным восстановлением.";
const char* const TextCopyMade = "Копия на этом компьютере: %1";
const char* const TextIncrementalFailed = "Создать инкрементную копию не удалось !";
// How often the state at a glance is brought up to date.
constexpr int StateRefreshMs = 1000;
// How often at most the progress follows the job's lines.
constexpr int ProgressRefreshMs = 250;
// The tool tip's parts.
const char* const TipSeparator = "\n";

std::string Std(const QString& text) { return text.toStdString(); }
QString Q(const std::string& text) { return QString::fromStdString(text); }

// Everything typed into the user name becomes upper case.
class TUpperCaseValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

QPushButton* Button(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setAutoDefault(false);
  return button;
}

QToolButton* PictureButton(QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setAutoRaise(true);
  button->setIcon(parent->style()->standardIcon(QStyle::SP_DirOpenIcon));
  button->setIconSize(QSize(20, 20));
  button->setFocusPolicy(Qt::TabFocus);
  return button;
}

// A Windows-style filter "Caption (*.ext)|*.EXT" in Qt's form; both letter
// cases of the extension, and every file as a second choice, since Linux
// file names are case-sensitive and Firebird databases are often *.fdb.
QStringList DialogFilters(const QString& filter) {
  QStringList filters;
  const QStringList parts = filter.split('|');
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString caption = parts[i];
    const QString pattern = parts[i + 1];
    const int open = caption.indexOf('(');
    if (open >= 0) caption = caption.left(open).trimmed();
    QStringList patterns;
    for (const QString& one : pattern.split(';')) {
      patterns << one.toLower();
      if (one.toUpper() != one.toLower()) patterns << one.toUpper();
    }
    filters << QString("%1 (%2)").arg(caption.isEmpty() ? pattern.toLower() : caption, patterns.join(' '));
  }
  filters << "Все файлы (*)";
  return filters;
}

}  // namespace

void TClickLabel::mousePressEvent(QMouseEvent* event) {
  QLabel::mousePressEvent(event);
  if (OnMouseDown) OnMouseDown();
}

TMainForm::TMainForm(const std::string& programDir, QWidget* parent)
    : QMainWindow(parent), FProgramDir(programDir), FPrompts(this) {
  RunFileDialog = [](QFileDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
  OpenSaveDialog = [](QFileDialog& dialog) { dialog.open(); };
  OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  BuildWindow();
  FormCreate();
  // A job cut short at the last run is finished once the window is up, so
  // its pane lines and its notice have a window to show in.
  QTimer::singleShot(0, this, [this] {
    if (FController && !JobInProgress()) Guarded([this] { FController->FinishInterruptedJob(); });
  });
}

TMainForm::~TMainForm() {
  // A window destroyed without closing still hands its settings over.
  if (!FClosed && FController && !FController->JobRunning()) FormClose();
}

// ---- layout

void TMainForm::BuildWindow() {
  setWindowTitle(ApplicationTitle);
  setWindowIcon(ApplicationIcon());
  resize(FormWidth, FormHeight);

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  ImageList = new TImageList(this);
  for (int i = 0; i < 5; ++i) ImageList->Add(TabPicture(i));
  ImageListIcons = new TImageList(this);
  for (int i = 0; i < 3; ++i) ImageListIcons->Add(TrayPicture(i));

  PageControl = new QTabWidget(central);
  PageControl->setIconSize(QSize(32, 32));
  PageControl->setUsesScrollButtons(false);
  PageControl->setDocumentMode(false);
  column->addWidget(PageControl);
  BuildDatabasePage();
  BuildRestorePage();
  BuildLoginPage();
  BuildAboutPage();
  BuildHistoryPage();
  const QStringList tips{"База данных", "Восстановление", "Пользователь", "О программе", "История"};
  for (int i = 0; i < PageControl->count(); ++i) {
    PageControl->setTabIcon(i, ImageList->GetIcon(i));
    PageControl->setTabToolTip(i, tips[i]);
  }

  BuildLogPane();
  column->addWidget(Log, 1);
  setCentralWidget(central);
  FitPages();
  setMinimumSize(360, PageControl->height() + 120);
  BuildStatusBar();

  TrayPopup = new TPopupMenu(this);
  Restore1 = TrayPopup->addAction(TextRestoreItem);
  TrayPopup->addSeparator();
  Exit1 = TrayPopup->addAction(TextExitItem);
  connect(Restore1, &QAction::triggered, this, [this] { Restore1Click(); });
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });

  OpenDialog = new QFileDialog(this);
  OpenDialog->setOption(QFileDialog::DontUseNativeDialog);
  OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog->setFileMode(QFileDialog::ExistingFile);
  // The home folder stands in for the drive "c:" of the original layout.
  OpenDialog->setDirectory(QDir::homePath());
  SaveDialog = new QFileDialog(this);
  SaveDialog->setOption(QFileDialog::DontUseNativeDialog);
  SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog->setFileMode(QFileDialog::AnyFile);
  // The dialog's own question about replacing a file would be a modal box
  // inside the job's event pump; the window asks its own way.
  SaveDialog->setOption(QFileDialog::DontConfirmOverwrite);
  connect(SaveDialog, &QFileDialog::fileSelected, this, [this](const QString& file) { SavePaneAs(file); });
}

void TMainForm::BuildDatabasePage() {
  TabSheet4 = new QWidget(PageControl);
  auto* grid = new QGridLayout(TabSheet4);
  grid->setContentsMargins(12, 10, 12, 10);
  Label4 = new QLabel("База данных", TabSheet4);
  cbBD_Name = new QComboBox(TabSheet4);
  cbBD_Name->setEditable(true);
  cbBD_Name->setInsertPolicy(QComboBox::NoInsert);
  cbBD_Name->setMaxVisibleItems(11);
  cbBD_Name->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbBD_Name->setMinimumContentsLength(20);
  sbOpenDataBase = PictureButton(TabSheet4);
  sbOpenDataBase->setToolTip("Выберите файл БД");
  BitBtn1 = Button("Создать резервную копию", TabSheet4);
  bbParameters = Button("Параметры", TabSheet4);
  BitBtn3 = Button("Расписание", TabSheet4);
  // A physical (nbackup) backup of the level chosen beside it.
  bbIncremental = Button("Инкрементная копия", TabSheet4);
  bbIncremental->setToolTip("Физическая копия изменённых страниц (nbackup); уровень 0 — полная копия");
  seIncrementalLevel = new QSpinBox(TabSheet4);
  seIncrementalLevel->setRange(0, 9);
  seIncrementalLevel->setPrefix("уровень ");
  seIncrementalLevel->setToolTip("Уровень N строится на последней копии уровня N-1");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(BitBtn1);
  buttons->addWidget(bbParameters);
  buttons->addWidget(BitBtn3);
  buttons->addStretch(1);
  auto* incremental = new QHBoxLayout;
  incremental->addWidget(bbIncremental);
  incremental->addWidget(seIncrementalLevel);
  incremental->addStretch(1);
  grid->addWidget(Label4, 0, 0, 1, 2);
  grid->addWidget(cbBD_Name, 1, 0);
  grid->addWidget(sbOpenDataBase, 1, 1);
  grid->setRowStretch(2, 1);
  grid->addLayout(incremental, 3, 0, 1, 2);
  grid->addLayout(buttons, 4, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  PageControl->addTab(TabSheet4, QString());

  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  connect(bbIncremental, &QPushButton::clicked, this, [this] { bbIncrementalClick(); });
  connect(sbOpenDataBase, &QToolButton::clicked, this, [this] {
    if (!RefusedDuringJob()) sbOpenDataBaseClick();
  });
  connect(bbParameters, &QPushButton::clicked, this, [this] { bbParametersClick(); });
  connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
}

void TMainForm::BuildRestorePage() {
  TabSheet5 = new QWidget(PageControl);
  auto* grid = new QGridLayout(TabSheet5);
  grid->setContentsMargins(12, 10, 12, 10);
  Label3 = new QLabel("Резервная копия", TabSheet5);
  PanelBD_Back = new QLabel(TabSheet5);
  PanelBD_Back->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PanelBD_Back->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  PanelBD_Back->setTextFormat(Qt::PlainText);
  PanelBD_Back->setMinimumWidth(100);
  PanelBD_Back->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  PanelBD_Back->setTextInteractionFlags(Qt::TextSelectableByMouse);
  sbOpenDataBack = PictureButton(TabSheet5);
  sbOpenDataBack->setToolTip("Выберите файл");
  bbFromStore = Button(TextFromStore, TabSheet5);
  bbFromStore->setObjectName("bbFromStore");
  Label5 = new QLabel("Восстановить как", TabSheet5);
  eNameBD = new QLineEdit(TabSheet5);
  bbRestore = Button("Востановить", TabSheet5);
  BitBtn4 = Button("Параметры", TabSheet5);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(bbRestore);
  buttons->addWidget(BitBtn4);
  buttons->addStretch(1);
  grid->addWidget(Label3, 0, 0, 1, 3);
  grid->addWidget(PanelBD_Back, 1, 0);
  grid->addWidget(sbOpenDataBack, 1, 1);
  grid->addWidget(bbFromStore, 1, 2);
  grid->addWidget(Label5, 2, 0, 1, 3);
  grid->addWidget(eNameBD, 3, 0);
  grid->setRowStretch(4, 1);
  grid->addLayout(buttons, 5, 0, 1, 3);
  grid->setColumnStretch(0, 1);
  PanelBD_Back->setFixedHeight(eNameBD->sizeHint().height());
  PageControl->addTab(TabSheet5, QString());

  connect(sbOpenDataBack, &QToolButton::clicked, this, [this] { sbOpenDataBackClick(); });
  connect(bbFromStore, &QPushButton::clicked, this, [this] { bbFromStoreClick(); });
  connect(bbRestore, &QPushButton::clicked, this, [this] { bbRestoreClick(); });
  connect(BitBtn4, &QPushButton::clicked, this, [this] { bbParametersClick(); });
}

void TMainForm::BuildLoginPage() {
  TabSheet6 = new QWidget(PageControl);
  auto* grid = new QGridLayout(TabSheet6);
  grid->setContentsMargins(12, 10, 12, 10);
  Label1 = new QLabel("Пользователь", TabSheet6);
  eUser = new QLineEdit(TabSheet6);
  eUser->setValidator(new TUpperCaseValidator(eUser));
  eUser->setMaximumWidth(220);
  Label2 = new QLabel("Пароль", TabSheet6);
  ePass = new QLineEdit(TabSheet6);
  ePass->setEchoMode(QLineEdit::Password);
  ePass->setStyleSheet("lineedit-password-character: 42;");
  ePass->setMaximumWidth(220);
  cbRememberPass = new QCheckBox("Помнить", TabSheet6);
  Label1->setBuddy(eUser);
  Label2->setBuddy(ePass);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(eUser, 0, 1);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(ePass, 1, 1);
  grid->addWidget(cbRememberPass, 2, 1);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(3, 1);
  PageControl->addTab(TabSheet6, QString());
}

void TMainForm::BuildAboutPage() {
  TabSheet7 = new QWidget(PageControl);
  // Two columns above the two paths: the page stays as low as the others.
  auto* grid = new QGridLayout(TabSheet7);
  grid->setContentsMargins(16, 4, 16, 4);
  grid->setVerticalSpacing(2);
  Label6 = new QLabel(TextAbout, TabSheet7);
  QFont bold = Label6->font();
  bold.setBold(true);
  Label6->setFont(bold);
  LabelAuthor = new QLabel(TextAuthor, TabSheet7);
  LabelYear = new QLabel(TextYear, TabSheet7);
  auto link = [&](const char* text) {
    auto* label = new TClickLabel(text, TabSheet7);
    QFont font = label->font();
    font.setBold(true);
    font.setUnderline(true);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(pal);
    label->setCursor(Qt::PointingHandCursor);
    label->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return label;
  };
  LabelMail = link(TextMail);
  LabelSite = link(TextSite);
  LabelMail->OnMouseDown = [this] { LabelMailMouseDown(); };
  LabelSite->OnMouseDown = [this] { LabelSiteMouseDown(); };
  auto pathLabel = [&] {
    auto* label = new QLabel(TabSheet7);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
  };
  LabelSettingsPath = pathLabel();
  LabelLogPath = pathLabel();
  grid->addWidget(Label6, 0, 0, 1, 2);
  grid->addWidget(LabelAuthor, 1, 0);
  grid->addWidget(LabelYear, 2, 0);
  grid->addWidget(LabelMail, 1, 1);
  grid->addWidget(LabelSite, 2, 1);
  grid->addWidget(LabelSettingsPath, 3, 0, 1, 2);
  grid->addWidget(LabelLogPath, 4, 0, 1, 2);
  grid->setRowStretch(5, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  PageControl->addTab(TabSheet7, QString());
}

void TMainForm::BuildHistoryPage() {
  TabSheet8 = new THistoryPage(PageControl);
  PageControl->addTab(TabSheet8, QString());
  connect(PageControl, &QTabWidget::currentChanged, this, [this](int index) { PageChanged(index); });
}

void TMainForm::BuildStatusBar() {
  StatusBar1 = new QStatusBar(this);
  setStatusBar(StatusBar1);
  FStatus = std::make_unique<TStatusPanel>(StatusBar1);
  StatusState = FStatus->State;
  pbJobProgress = FStatus->Progress;
  // A notice shown without blocking is repeated on the status line while
  // its box is open and its job runs.
  FPrompts.NonBlocking = [this] { return JobInProgress(); };
  FPrompts.OnNotice = [this](const QString& text) {
    FStatus->SetNotice(text);
    RefreshState();
  };
  // Also while a job is silent (a restore building an index writes no line
  // for minutes).
  FStateTimer = new QTimer(this);
  FStateTimer->setInterval(StateRefreshMs);
  connect(FStateTimer, &QTimer::timeout, this, [this] { RefreshState(); });
}

void TMainForm::PageChanged(int index) {
  const bool history = index == HistoryTab;
  if (history) {
    PageControl->setMinimumHeight(TabControlHeight);
    PageControl->setMaximumHeight(QWIDGETSIZE_MAX);
    if (!FSizeBeforeHistory.isValid()) FSizeBeforeHistory = size();
    QSize wanted(HistoryWidth, HistoryHeight);
    if (const QScreen* screen = QApplication::primaryScreen())
      wanted = wanted.boundedTo(screen->availableGeometry().size() - (frameGeometry().size() - size()));
    resize(size().expandedTo(wanted));
    FHistorySize = size();
    TabSheet8->EnsureLoaded();
    if (FController) RefreshState();
  } else {
    // Back to the size it had, unless the user sized the window meanwhile.
    if (FSizeBeforeHistory.isValid() && size() == FHistorySize) resize(FSizeBeforeHistory);
    FSizeBeforeHistory = QSize();
    FitPages();
  }
  Log->setVisible(!history);
}

void TMainForm::FitPages() {
  if (PageControl->currentIndex() == HistoryTab) return;
  // The pages of fixed texts fit the original height; the "О программе"
  // page names the program's folders, whose paths may wrap.
  const int width = std::max(PageControl->width(), FormWidth) - 8;
  QLayout* about = TabSheet7->layout();
  const int need = about->hasHeightForWidth() ? about->totalHeightForWidth(width) : about->totalSizeHint().height();
  const int frame = PageControl->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, PageControl);
  PageControl->setFixedHeight(
      std::max(TabControlHeight, need + PageControl->tabBar()->sizeHint().height() + 2 * frame));
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitPages();
}

void TMainForm::ShowJobProgress() {
  if (!FController) return;
  const auto progress = FController->Jobs().JobProgress();
  const int phase = progress ? static_cast<int>(progress->Phase) : -1;
  if (phase == FShownPhase && FProgressClock.isValid() && FProgressClock.elapsed() < ProgressRefreshMs) return;
  FShownPhase = phase;
  FProgressClock.start();
  RefreshState();
}

void TMainForm::BuildLogPane() {
  Log = new TLogPane(this);
  pmMenu = new QMenu(Log);
  N1 = pmMenu->addAction("Сохранить как ...");
  N2 = pmMenu->addAction("Очистить");
  Log->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Log, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pmMenu->popup(Log->viewport()->mapToGlobal(at)); });
  connect(N1, &QAction::triggered, this, [this] { N1Click(); });
  connect(N2, &QAction::triggered, this, [this] { N2Click(); });
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (FCentred) return;
  FCentred = true;
  if (const QScreen* screen = QApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !FTrayIcon) return;
  const auto* change = static_cast<QWindowStateChangeEvent*>(event);
  const bool noTray = !FTrayIcon->TrayAvailable || !FTrayIcon->TrayAvailable();
  // Without a notification area the plan waits in a minimised window, and
  // bringing the window back is what the icon's "Восстановить" would do:
  // otherwise nothing could stop the plan short of ending the program.
  if (noTray && (change->oldState() & Qt::WindowMinimized) && !isMinimized() && FTrayIcon->MinimizeToTray()) {
    QTimer::singleShot(0, this, [this] {
      if (FController && FTrayIcon && FTrayIcon->MinimizeToTray() && !isMinimized()) Restore1Click();
    });
  }
}

// ---- handlers

void TMainForm::Guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    FPrompts.ShowMessage(MessageOf(e));
  }
}

bool TMainForm::JobInProgress() const { return FJobActive || (FController && FController->JobRunning()); }

bool TMainForm::RefusedDuringJob() {
  if (!JobInProgress()) return false;
  FPrompts.Beep();
  return true;
}

void TMainForm::SetJobControlsEnabled(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{BitBtn1, bbIncremental, bbParameters, BitBtn3, bbRestore,
                                                          BitBtn4, sbOpenDataBase, sbOpenDataBack}) {
    control->setEnabled(enabled);
  }
  ShowFromStoreState();
}

void TMainForm::PrepareLogForJob() {
  Log->Clear();
  Log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void TMainForm::ShowBackSource() { PanelBD_Back->setText(" " + Q(FRestoreSource)); }

void TMainForm::ShowFileLocations() {
  LabelSettingsPath->setText(QString(TextSettingsPath).arg(Q(FController->IniPath())));
  LabelLogPath->setText(QString(TextLogPath).arg(Q(FController->Log().LogDir())));
  FitPages();
}

void TMainForm::FormCreate() {
  // 1. The notification-area icon (it stays out of the notification area).
  FTrayIcon = new TCoolTrayIcon(this);
  FTrayIcon->SetIcon(windowIcon());
  FTrayIcon->SetHint(ApplicationTitle);
  Restore1->setText(TextRestoreItem);
  Exit1->setText(TextExitItem);
  FTrayIcon->SetIconList(ImageListIcons);
  FTrayIcon->SetPopupMenu(TrayPopup);
  FTrayIcon->SetShowHint(true);
  FTrayIcon->OnDblClick = [this](QObject*) { Restore1Click(); };
  FTrayNotices = std::make_unique<TTrayNotices>(*FTrayIcon, [this] { RefreshState(); });
  // 2.
  PageControl->setCurrentIndex(0);
  // 3. The controller: reads the settings, starts the operation log; its
  // jobs show themselves in the log pane, the boxes and the tray.
  // Its jobs run on a thread of their own and hand what they show over to
  // this window's event loop.
  TFrontEnd frontEnd{Log, &FPrompts, FTrayNotices.get()};
  frontEnd.Post = [this](std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
  };
  FController = std::make_unique<TQuorvin>(std::move(frontEnd), FProgramDir);
  TQuorvin& q = *FController;
  FPlanStatus = std::make_unique<TPlanStatusWriter>(q);
  const TSettings& settings = q.Settings();
  FOutcomes = std::make_unique<TBackupOutcomes>(q.HistoryPath());
  FOutcomes->SetSeenUntil(settings.HistorySeenUntil);
  ShowFileLocations();
  // 4.
  for (const std::string& name : settings.BDNames) {
    if (!name.empty()) cbBD_Name->addItem(ShownText(name), OriginalBytes(name));
  }
  // 5.
  cbRememberPass->setChecked(settings.RememberPass);
  if (settings.RememberPass) {
    FUserBytes = settings.User;
    FPassBytes = settings.Pass;
    eUser->setText(ShownText(settings.User));
    ePass->setText(ShownText(settings.Pass));
  }
  // 6.
  cbBD_Name->setCurrentIndex(cbBD_Name->count() > 0 ? 0 : -1);
  // 7.
  FRestoreSource = settings.LastBack;
  ShowBackSource();
  ShowFromStoreState();
  TabSheet8->SetHistoryFile(q.HistoryPath());
  q.OnJobProgress = [this] { ShowJobProgress(); };
  q.OnJobEnded = [this] { TabSheet8->ReloadIfLoaded(); };
  RefreshState();
  FStateTimer->start();
}

void TMainForm::RefreshState() {
  if (!FController) return;
  FPlanStatus->Update();
  FollowPlanElsewhere();
  // What anyone (the service, quorvinctl) added to the history meanwhile.
  if (FOutcomes->Follow()) TabSheet8->ReloadIfLoaded();
  NoteHistorySeen();
  // One figure for the line, the bar and the tool tip.
  const std::optional<TJobProgress> progress = FController->Jobs().JobProgress();
  FStatus->Show(StatusLinesOf(*FController, false, &progress, FOutcomes.get()), progress, JobInProgress());
  const std::string tip = JoinStatusLines(StatusLinesOf(*FController, true, &progress, FOutcomes.get()), TipSeparator);
  const QString hint = tip.empty() ? QString(ApplicationTitle) : QString(ApplicationTitle) + "\n" + Q(tip);
  // Set only when it changes: a desktop host is told of every change.
  if (FTrayIcon && FTrayIcon->Hint() != hint) FTrayIcon->SetHint(hint);
  ShowTrayPicture();
}

void TMainForm::NoteHistorySeen() {
  if (PageControl->currentIndex() != HistoryTab || !TabSheet8->Loaded() || !isVisible() || isMinimized()) return;
  const std::string until = TabSheet8->NewestEnd();
  if (!FOutcomes->MarkSeen(until)) return;
  TSettings& settings = FController->Settings();
  settings.HistorySeenUntil = until;
  try {
    TSettingsFile(FController->IniPath()).SaveHistorySeen(settings);
  } catch (const std::exception&) {
    // Not kept for the next start; this run knows it all the same, and the
    // close writes nothing else over it.
  }
}

void TMainForm::ShowTrayPicture() {
  if (!FTrayIcon || !FController->Plan().Running()) return;
  const int picture = NeedsAttention(*FController, *FOutcomes) ? AttentionPicture : PlanRunningPicture;
  if (FTrayIcon->IconIndex() != picture) FTrayIcon->SetIconIndex(picture);
}

void TMainForm::FollowPlanElsewhere() {
  const std::optional<TPlanStatus> elsewhere = PlanStatusElsewhere(*FController);
  double lastEnded = 0;
  if (elsewhere)
    for (const TJobReport& report : elsewhere->Last) lastEnded = std::max(lastEnded, report.Ended);
  if (lastEnded == FElsewhereLastEnded) return;
  FElsewhereLastEnded = lastEnded;
  TabSheet8->ReloadIfLoaded();
}

void TMainForm::HandSettingsOver() {
  TSettings& settings = FController->Settings();
  settings.RememberPass = cbRememberPass->isChecked();
  StoreLogin();
  settings.BDNames.clear();
  for (int i = 0; i < cbBD_Name->count(); ++i) {
    const QString name = cbBD_Name->itemText(i);
    if (!name.isEmpty()) settings.BDNames.push_back(BytesOf(name, cbBD_Name->itemData(i)));
  }
}

void TMainForm::SaveSettings() {
  HandSettingsOver();
  FController->WriteIni();
}

void TMainForm::FormClose() {
  if (!FController) return;
  HandSettingsOver();
  // Nothing may reach the controller once it is gone: every handler checks
  // the reference first.
  FStateTimer->stop();
  FPlanStatus.reset();
  FOutcomes.reset();
  FController.reset();
  FClosed = true;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (JobInProgress()) {
    // Destroying the controller would pull the job out from under itself.
    event->ignore();
    FPrompts.ShowMessage(TextBusy);
    return;
  }
  Guarded([this] { FormClose(); });
  if (FTrayIcon) FTrayIcon->SetIconVisible(false);
  event->accept();
  emit Closed();
}

void TMainForm::StoreLogin() {
  FController->Settings().User = BytesOf(eUser->text(), FUserBytes);
  FController->Settings().Pass = BytesOf(ePass->text(), FPassBytes);
}

std::string TMainForm::DatabaseNameBytes() const {
  const QString text = cbBD_Name->currentText();
  const int entry = cbBD_Name->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  return entry < 0 ? Std(text) : BytesOf(text, cbBD_Name->itemData(entry));
}

QString TMainForm::ChooseFile(const QString& title, const QString& defaultExt, const QString& filter,
                              const QString& near) {
  QString result;
  const QFileInfo nearFile(near);
  if (!near.isEmpty() && nearFile.absoluteDir().exists()) OpenDialog->setDirectory(nearFile.absolutePath());
  OpenDialog->setWindowTitle(title);
  OpenDialog->setDefaultSuffix(defaultExt);
  OpenDialog->setNameFilters(DialogFilters(filter));
  if (RunFileDialog(*OpenDialog)) {
    const QStringList files = OpenDialog->selectedFiles();
    if (!files.isEmpty()) result = files.first();
  }
  return result;
}

void TMainForm::RunWindowJob(const std::function<bool(const TEndJob& end)>& start) {
  if (!FController || FJobActive) {
    FPrompts.Beep();
    return;
  }
  FJobActive = true;
  SetJobControlsEnabled(false);
  // A job of the plan (or another program's) runs: ours waits for it.
  const std::optional<TQueuedJob> before = FController->Queue().Running();
  const bool waits = FController->JobRunning();
  // The job ends later, on the jobs' own thread; one refused before it was
  // asked for ends inside `start`, and its announcement waits until `start`
  // has returned.
  struct TStart {
    bool Starting = true;
    std::optional<std::string> EndedWith;
  };
  const auto state = std::make_shared<TStart>();
  bool asked = false;
  Guarded([&] {
    asked = start([this, state](const std::string& announcement) {
      if (state->Starting)
        state->EndedWith = announcement;
      else
        EndWindowJob(announcement);
    });
  });
  state->Starting = false;
  if (state->EndedWith || !asked) {
    EndWindowJob(state->EndedWith.value_or(std::string()));
    return;
  }
  RefreshState();
  if (waits) FPrompts.ShowMessage(Std(QString(TextJobWaits).arg(before ? Q(before->Database) : QString())));
}

void TMainForm::EndWindowJob(const std::string& announcement) {
  FJobActive = false;
  SetJobControlsEnabled(true);
  RefreshState();
  if (announcement.empty()) return;
  // This job is over, though the jobs' thread may still be telling its end:
  // only another job, running or waiting, makes the announcement a notice.
  const TJobQueue& queue = FController->Queue();
  FPrompts.ShowMessage(announcement, queue.Busy() || !queue.Waiting().empty());
}

std::string TMainForm::DatabaseForBackup() {
  StoreLogin();
  std::string database = DatabaseNameBytes();
  if (database.empty()) {
    sbOpenDataBaseClick();
    database = FController->Settings().DataBase;
  }
  PutDatabaseNameFirst(database);
  if (!FController->JobRunning()) PrepareLogForJob();
  return database;
}

void TMainForm::bbIncrementalClick() {
  RunWindowJob([this](const TEndJob& end) {
    const std::string database = DatabaseForBackup();
    FController->IncrementalBackup(database, seIncrementalLevel->value(), [this, end](const TBackupOutcome& outcome) {
      if (!outcome.Succeeded) return end(TextIncrementalFailed);
      FRestoreSource = outcome.BackFile;
      ShowBackSource();
      end(BackupAnnouncement(outcome));
    });
    return true;
  });
}

void TMainForm::BitBtn1Click() {
  RunWindowJob([this](const TEndJob& end) {
    TQuorvin& q = *FController;
    const std::string database = DatabaseForBackup();
    q.Backup(database, [this, end](const TBackupOutcome& outcome) {
      if (!outcome.Succeeded) return end(TextBackupFailed);
      FRestoreSource = outcome.BackFile;
      ShowBackSource();
      end(BackupAnnouncement(outcome));
    });
    return true;
  });
}

std::string TMainForm::BackupAnnouncement(const TBackupOutcome& outcome) {
  QStringList lines{QString(TextFileCreated).arg(Q(outcome.BackFile))};
  if (outcome.Verified) lines << TextVerified;
  // With "copy only" the copy is the file made.
  if (outcome.Copy && outcome.Copy->File != outcome.BackFile) lines << QString(TextCopyMade).arg(Q(outcome.Copy->File));
  return Std(lines.join('\n'));
}

void TMainForm::PutDatabaseNameFirst(const std::string& bytes) {
  // An entry that differs only in letter case moves up and keeps its own
  // spelling (and its bytes).
  const QString name = ShownText(bytes);
  int found = -1;
  for (int i = 0; i < cbBD_Name->count(); ++i) {
    if (cbBD_Name->itemText(i).compare(name, Qt::CaseInsensitive) == 0) {
      found = i;
      break;
    }
  }
  if (found < 0) {
    cbBD_Name->insertItem(0, name, OriginalBytes(bytes));
  } else if (found > 0) {
    const QString entry = cbBD_Name->itemText(found);
    const QVariant entryBytes = cbBD_Name->itemData(found);
    cbBD_Name->removeItem(found);
    cbBD_Name->insertItem(0, entry, entryBytes);
  }
  cbBD_Name->setCurrentIndex(0);
}

void TMainForm::sbOpenDataBaseClick() {
  if (!FController) return;
  // Firebird's own databases are *.fdb, older ones *.gdb.
  std::string& database = FController->Settings().DataBase;
  database = Std(ChooseFile("Выберите файл БД", "gdb", "Файл БД (*.fdb, *.gdb)|*.FDB;*.GDB", cbBD_Name->currentText()));
  cbBD_Name->setEditText(Q(database));
}

void TMainForm::sbOpenDataBackClick() {
  if (!FController || RefusedDuringJob()) return;
  // A backup file the server reads, or a copy on this computer that is sent
  // to it; the dialog starts beside it, or beside the database.
  const QString near = FRestoreSource.empty() ? cbBD_Name->currentText() : Q(FRestoreSource);
  // A physical backup's file restores its whole chain.
  FRestoreSource = Std(ChooseFile("Выберите файл", "gbk",
                                  "Файл (*.gbk, *.gbk.zst)|*.GBK;*.GBK.ZST|Инкрементная копия (*.nbk)|*.NBK", near));
  ShowBackSource();
}

void TMainForm::bbParametersClick() {
  if (!FController || RefusedDuringJob()) return;
  Guarded([this] {
    const TOffsiteSettings offsite = FController->Settings().Offsite;
    TParamsForm dialog(this, FController->Settings());
    // Confirmed choices reach the file at once: a crash later costs none.
    if (dialog.ShowParams(PageControl->currentIndex() == 1 ? 1 : 0) != TParamsForm::ResultSave) return;
    TSettings before = FController->Settings();
    before.Offsite = offsite;
    SaveSettings();
    // Entry 1's off-site copy is kept with the plan, which WriteIni leaves
    // alone: its changed keys are written, and no other.
    if (offsite != FController->Settings().Offsite) FController->SaveChanges(before);
    ShowFromStoreState();
  });
}

void TMainForm::ShowFromStoreState() {
  const bool placed = FController && FController->Settings().Offsite.Active();
  // Open with the page's other job controls.
  bbFromStore->setEnabled(placed && sbOpenDataBack->isEnabled());
  bbFromStore->setToolTip(placed ? TextFromStoreTip : TextNoStore);
}

void TMainForm::bbFromStoreClick() {
  if (!FController || RefusedDuringJob()) return;
  Guarded([this] {
    // Entry 1's place; the listing is short and asked for by hand.
    const std::vector<TStoredCopy> copies = RestorableCopiesOf(*OffsiteTargetOf(FController->Settings().Offsite));
    TOffsiteChooser chooser(this, copies);
    if (chooser.exec() != QDialog::Accepted || chooser.ChosenUrl().empty()) return;
    FRestoreSource = chooser.ChosenUrl();
    ShowBackSource();
  });
}

bool TMainForm::RestoreFromStore(const std::string& target, const std::function<void(const std::string&)>& end) {
  // No replace from a store yet: a database that is there stays untouched.
  if (target.empty() || FileExists(target)) {
    FPrompts.ShowMessage(target.empty() ? TextStoreNoTarget : Std(QString(TextStoreExists).arg(Q(target))));
    return false;
  }
  if (!FController->JobRunning()) PrepareLogForJob();
  FController->RestoreOffsite(FRestoreSource, target, [end, target](bool restored) {
    end(restored ? Std(QString(TextFileCreated).arg(Q(target))) : std::string());
  });
  return true;
}

void TMainForm::bbRestoreClick() {
  RunWindowJob([this](const TEndJob& end) {
    TQuorvin& q = *FController;
    StoreLogin();
    const std::string target = Std(eNameBD->text());
    if (IsObjectUrl(FRestoreSource)) return RestoreFromStore(target, end);
    if (!q.JobRunning()) PrepareLogForJob();
    q.Restore(FRestoreSource, target, [end, target](bool restored) {
      end(restored ? Std(QString(TextFileCreated).arg(Q(target))) : std::string());
    });
    return true;
  });
}

void TMainForm::BitBtn3Click() {
  if (!FController || RefusedDuringJob()) return;
  Guarded([this] {
    StoreLogin();
    const std::string database = DatabaseNameBytes();
    int result = 0;
    {
      TQuorvin& q = *FController;
      TPlanForm dialog(this, q.Settings(), &q.Plan(), [&q](bool sessionStart) {
        q.SavePlan();
        if (sessionStart) q.ApplyStartWithSession();
      });
      dialog.SetPlanDatabase(database);
      result = dialog.exec();
    }
    if (result != TPlanForm::ResultStart || !FController) return;
    // A plan of one database backs up what the window shows, taken as the
    // backup button takes it.
    TSettings& settings = FController->Settings();
    if (settings.PlanDataBase.empty()) settings.DataBase = database;
    if (!database.empty()) PutDatabaseNameFirst(database);
    StartPlanInTray();
  });
}

bool TMainForm::StartPlanInTray() {
  // What the plan runs with is on disk before it starts (and resumes with).
  SaveSettings();
  // Another program (the service) runs the plan of these settings: a
  // second plan would back the same databases up twice.
  if (!FController->Execute()) {
    FPrompts.ShowMessage(Std(QString(TextPlanRunElsewhere).arg(Q(FController->PlanRunElsewhere()))));
    RefreshState();
    return false;
  }
  FTrayIcon->ConcealMainWindow();
  FTrayIcon->SetIconVisible(true);
  FTrayIcon->SetEnabled(true);
  FTrayIcon->SetIconIndex(PlanRunningPicture);
  FTrayIcon->SetMinimizeToTray(true);
  RefreshState();
  FController->SavePlanRunning(true);
  return true;
}

bool TMainForm::ResumePlanAtStart() {
  if (!FController || !FController->PlanResumesAtStart()) return false;
  bool started = false;
  Guarded([&] { started = StartPlanInTray(); });
  return started;
}

void TMainForm::Restore1Click() {
  if (!FController) return;
  Guarded([this] {
    FTrayIcon->SetIconIndex(PlanStoppedPicture);
    FController->Stop();
    FTrayIcon->SetIconVisible(false);
    FTrayIcon->SetMinimizeToTray(false);
    FTrayIcon->RevealMainWindow();
    RefreshState();
    // Stopped by the user: the next start does not resume it.
    FController->SavePlanRunning(false);
  });
}

void TMainForm::Exit1Click() {
  if (!FController) return;
  if (JobInProgress()) {
    // The icon stays usable: the user can end the program after the job.
    FPrompts.ShowMessage(TextBusy);
    return;
  }
  Guarded([this] {
    FTrayIcon->SetIconIndex(0);
    FController->Stop();
    FTrayIcon->SetEnabled(false);
  });
  close();
}

void TMainForm::ShowAtRequest() {
  // Closed (the program is ending): a window without its controller must not
  // come back.
  if (FClosed) return;
  if (FController && FTrayIcon && FTrayIcon->MinimizeToTray()) {
    Restore1Click();
  }
  if (isMinimized() || !isVisible()) showNormal();
  raise();
  activateWindow();
}

void TMainForm::RequestSessionClose() {
  FSessionCloseRequested = true;
  if (FSessionCloseTimer == nullptr) {
    FSessionCloseTimer = new QTimer(this);
    FSessionCloseTimer->setInterval(50);
    connect(FSessionCloseTimer, &QTimer::timeout, this, [this] { TrySessionClose(); });
  }
  FSessionCloseTimer->start();
  TrySessionClose();
}

void TMainForm::TrySessionClose() {
  if (FClosed) {
    FSessionCloseTimer->stop();
    return;
  }
  // A message box or dialog gets its cancelling answer (No, Cancel,
  // "Закрыть"; OK for a notice): a question before a job declines the job.
  // The handler that opened it runs on; the next step looks again.
  if (QWidget* modal = QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
    return;
  }
  // A job runs (the timer ticks inside its event pump): the close follows
  // its end. The controller is being destroyed: the close is under way.
  if (!FController || JobInProgress()) return;
  FSessionCloseTimer->stop();
  close();
}

void TMainForm::N1Click() {
  if (!FController) return;
  SaveDialog->setDefaultSuffix("txt");
  SaveDialog->setNameFilters({"*.txt"});
  SaveDialog->setDirectory(Q(FController->Locations().SaveDir));
  SaveDialog->selectFile(Q("log_" + FormatDateTime("dd_mm_yyyy", Now())));
  // Deleting or renaming files from the dialog asks modal questions: not
  // while a job runs.
  SaveDialog->setOption(QFileDialog::ReadOnly, JobInProgress());
  OpenSaveDialog(*SaveDialog);
}

void TMainForm::SavePaneAs(QString fileName) {
  if (fileName.isEmpty()) return;
  if (QFileInfo(fileName).suffix().isEmpty()) fileName += ".txt";
  if (!QFileInfo::exists(fileName)) {
    WritePane(fileName);
    return;
  }
  auto* question = new QMessageBox(QMessageBox::Warning, windowTitle(), QString(TextReplaceFile).arg(fileName),
                                   QMessageBox::Yes | QMessageBox::No, this);
  question->setDefaultButton(QMessageBox::No);
  question->setAttribute(Qt::WA_DeleteOnClose);
  connect(question, &QMessageBox::finished, this, [this, question, fileName](int answer) {
    question->deleteLater();
    if (answer == QMessageBox::Yes) WritePane(fileName);
  });
  question->open();
}

void TMainForm::WritePane(const QString& fileName) {
  // A failure to save goes unreported, as the pane's own menu promises
  // nothing more.
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return;
  QString text = Log->Text();
  if (!text.isEmpty()) text += '\n';
  file.write(text.toUtf8());
  file.commit();
}

void TMainForm::N2Click() { Log->Clear(); }

void TMainForm::LabelSiteMouseDown() { OpenUrl(QUrl("http://" + LabelSite->text())); }

void TMainForm::LabelMailMouseDown() { OpenUrl(QUrl("mailto:" + LabelMail->text())); }
