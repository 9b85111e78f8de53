#include "MainForm.h"

#include "ChmViewer.h"
#include "DisconnectCommands.h"
#include "Help.h"
#include "OwnVersion.h"
#include "RowTexts.h"
#include "Sorting.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTime>
#include <QTreeView>

#include <algorithm>

namespace telv {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

const QStringList kChanelHeaders = {"ID прибора", "Тип прибора",    "Адрес",           "Событие",
                                    "Время на связи", "RX / TX", "Состояние канала"};
const int kChanelWidths[] = {100, 100, 120, 100, 100, 100, 150};
const QStringList kClientHeaders = {"ID клиента", "Адрес", "Время на связи", "RX / TX", "Состояние"};
const int kClientWidths[] = {180, 120, 100, 150, 220};

}  // namespace

TMainFrame::TMainFrame(std::unique_ptr<TRegistry> registry, QWidget* parent)
    : QMainWindow(parent),
      registry_(registry ? std::move(registry) : std::make_unique<TRegistry>()),
      chanelRows_(kChanelColumns, RenderCell),
      clientRows_(kClientColumns, RenderCell) {
    tables_ = std::make_unique<MonitorTables>(chanelRows_, clientRows_, static_cast<StatusPanels&>(*this));
    controller_ = std::make_unique<ConnectionController>(static_cast<ConnectionView&>(*this), *tables_);
    TAsyncSocket::SockInit();
    BuildControls();
    FormCreate();
}

TMainFrame::~TMainFrame() {
    // The socket goes first, closed without a word to the server; then the tables and rows.
    controller_.reset();
}

void TMainFrame::BuildControls() {
    setWindowTitle("TELV клиент");
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);

    ConnectDisconectAction = new QAction("Подключить", this);
    RequestAction = new QAction("Запрос", this);
    ResetChanel = new QAction("Сбросить соединение с прибором", this);
    CloseChanel = new QAction("Отключить приборы", this);
    CloseChanelInterval = new QAction("Отключить приборы завершив интервал опроса", this);
    CloseClient = new QAction("Отключить клиенты", this);
    connect(ConnectDisconectAction, &QAction::triggered, this, [this] {
        controller_->ConnectDisconectActionExecute();
        ActionUpdate();
    });
    connect(RequestAction, &QAction::triggered, this, [this] {
        if (controller_->ActionsEnabled()) controller_->RequestActionExecute();
    });
    connect(ResetChanel, &QAction::triggered, this, [this] { ChanelDisconnectCommand(kResetChanel); });
    connect(CloseChanel, &QAction::triggered, this, [this] { ChanelDisconnectCommand(kCloseChanel); });
    connect(CloseChanelInterval, &QAction::triggered, this, [this] { ChanelDisconnectCommand(kCloseChanelInterval); });
    connect(CloseClient, &QAction::triggered, this, &TMainFrame::CloseClientExecute);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(BuildToolBar());

    chanelModel_ = new ListViewModel(chanelRows_, kChanelHeaders, this);
    clientModel_ = new ListViewModel(clientRows_, kClientHeaders, this);
    auto* chanelPopup = new QMenu(this);
    chanelPopup->addActions({ResetChanel, CloseChanel, CloseChanelInterval});
    auto* clientPopup = new QMenu(this);
    clientPopup->addAction(CloseClient);
    ChanelListView = BuildListView(chanelModel_, chanelPopup);
    ClientListView = BuildListView(clientModel_, clientPopup);
    for (int i = 0; i < kChanelHeaders.size(); ++i) ChanelListView->setColumnWidth(i, kChanelWidths[i]);
    for (int i = 0; i < kClientHeaders.size(); ++i) ClientListView->setColumnWidth(i, kClientWidths[i]);
    connect(ChanelListView->header(), &QHeaderView::sectionClicked, this, [this](int c) { ColumnClick(true, c); });
    connect(ClientListView->header(), &QHeaderView::sectionClicked, this, [this](int c) { ColumnClick(false, c); });

    PageControl1 = new QTabWidget;
    PageControl1->addTab(ChanelListView, "Приборы");
    PageControl1->addTab(ClientListView, "Клиенты");

    ConsoleMemo = new QPlainTextEdit;
    ConsoleMemo->setReadOnly(true);
    ConsoleMemo->setMaximumBlockCount(kMaxLogLines);
    ConsoleMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    ConsoleMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ConsoleMemo->viewport()->installEventFilter(this);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setHandleWidth(4);
    splitter->addWidget(PageControl1);
    splitter->addWidget(ConsoleMemo);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({467 - 37 - 86 - 4 - 22, 86});
    layout->addWidget(splitter, 1);
    setCentralWidget(central);

    for (int i = 0; i < 2; ++i) {
        StatusPanel[i] = new QLabel;
        StatusPanel[i]->setMinimumWidth(400);
        StatusPanel[i]->setTextFormat(Qt::PlainText);
        statusBar()->addWidget(StatusPanel[i]);
    }
    resize(785, 467);

    Timer.setInterval(100);
    connect(&Timer, &QTimer::timeout, this, &TMainFrame::TimerTimer);
    ReqTimer.setInterval(1000);
    connect(&ReqTimer, &QTimer::timeout, this, [this] { controller_->ReqTimerTimer(); });
    Timer.start();
    ReqTimer.start();
    ActionUpdate();
}

QWidget* TMainFrame::BuildToolBar() {
    auto* bar = new QWidget;
    bar->setFixedHeight(37);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(8, 2, 8, 2);

    AddrEdit = new QComboBox;
    AddrEdit->setEditable(true);
    AddrEdit->setInsertPolicy(QComboBox::NoInsert);
    AddrEdit->setMinimumWidth(110);
    PortEdit = new QLineEdit;
    PortEdit->setFixedWidth(50);
    ConnectButton = new QPushButton;
    ConnectButton->setFixedWidth(100);
    ConnectButton->setText(ConnectDisconectAction->text());
    connect(ConnectButton, &QPushButton::clicked, ConnectDisconectAction, &QAction::trigger);
    connect(ConnectDisconectAction, &QAction::changed, this,
            [this] { ConnectButton->setText(ConnectDisconectAction->text()); });
    // Only the operator's edits and picks run the port lookup, not texts the program sets.
    connect(AddrEdit, &QComboBox::textActivated, this, &TMainFrame::AddrEditChange);
    connect(AddrEdit->lineEdit(), &QLineEdit::textEdited, this, &TMainFrame::AddrEditChange);

    RequestButton = new QPushButton(RequestAction->text());
    RequestButton->setFixedWidth(83);
    connect(RequestButton, &QPushButton::clicked, RequestAction, &QAction::trigger);
    connect(RequestAction, &QAction::changed, this, [this] { RequestButton->setEnabled(RequestAction->isEnabled()); });
    AutoRequest = new QCheckBox("Автозапрос");
    AutoRequest->setChecked(true);
    connect(AutoRequest, &QCheckBox::toggled, this, &TMainFrame::AutoRequestClick);
    UpDown = new QSpinBox;
    UpDown->setRange(1, 100);
    UpDown->setValue(1);
    UpDown->findChild<QLineEdit*>()->setReadOnly(true);  // stepped only by its arrows
    UpDown->setFixedWidth(51);
    connect(UpDown, &QSpinBox::valueChanged, this, &TMainFrame::UpDownChangingEx);
    EventCheckBox = new QCheckBox("События сервера");
    EventCheckBox->setChecked(true);
    connect(EventCheckBox, &QCheckBox::toggled, this, [this] { controller_->EventCheckBoxClick(); });

    row->addWidget(new QLabel("Адрес"));
    row->addWidget(AddrEdit);
    row->addWidget(new QLabel("Порт"));
    row->addWidget(PortEdit);
    row->addWidget(ConnectButton);
    row->addSpacing(16);
    row->addWidget(RequestButton);
    row->addWidget(AutoRequest);
    row->addWidget(UpDown);
    row->addWidget(new QLabel("сек"));
    row->addWidget(EventCheckBox);
    row->addStretch(1);
    return bar;
}

QTreeView* TMainFrame::BuildListView(ListViewModel* model, QMenu* popup) {
    auto* view = new QTreeView;
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAlternatingRowColors(true);
    view->header()->setSectionsClickable(true);
    view->header()->setStretchLastSection(false);
    model->TrackSelection(view->selectionModel());
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, view, popup](const QPoint& at) {
        ActionUpdate();
        popup->popup(view->viewport()->mapToGlobal(at));
    });
    return view;
}

// Reads the settings into the controls, then the caption and help.
void TMainFrame::FormCreate() {
    const ClientSettings settings = ReadClientSettings(*registry_);
    AddrEdit->setEditText(Q(settings.ServerAddress));
    PortEdit->setText(Q(settings.ServerPort));
    AutoRequest->setChecked(settings.AutoRequest);
    AutoRequestClick();
    UpDown->setValue(settings.AutoRequestInterval);
    UpDownChangingEx(UpDown->value());
    EventCheckBox->setChecked(settings.EnableEventTranslate);
    Servers = settings.History;
    FillAddrList();

    setWindowTitle(windowTitle() + " " + Q(ReadOwnVersion(controller_->ClientVersion)));

    helpViewer_ = LoadHtmlHelp();
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this,
            [this] { FormHelp(kKeywordHelpCommand, std::string(kWindowHelpKeyword).c_str()); });
}

bool TMainFrame::FormHelp(std::uint16_t command, const char* keyword) {
    bool callHelp = false;
    return telv::FormHelp(helpViewer_, command, keyword, callHelp);
}

void TMainFrame::FillAddrList() {
    const QString text = AddrEdit->currentText();
    const QSignalBlocker block(AddrEdit);
    AddrEdit->clear();
    for (const ServerInfo& server : Servers) AddrEdit->addItem(Q(server.Address));
    AddrEdit->setEditText(text);
}

void TMainFrame::AddrEditChange(const QString& text) {
    if (const auto port = LookUpServerPort(Servers, text.toStdString())) PortEdit->setText(QString::number(*port));
}

void TMainFrame::AutoRequestClick() {
    UpDown->setEnabled(AutoRequest->isChecked());
}

void TMainFrame::UpDownChangingEx(int newValue) {
    // The period follows only values the control can show: never 0 ms, never an overflow.
    const int seconds = std::clamp(newValue, kMinRequestInterval, kMaxRequestInterval);
    ReqTimer.setInterval(seconds * 1000);
}

void TMainFrame::TimerTimer() {
    controller_->TimerTimer();
    ActionUpdate();
}

void TMainFrame::ActionUpdate() {
    const bool running = controller_->ActionsEnabled();
    for (QAction* action : {RequestAction, ResetChanel, CloseChanel, CloseChanelInterval, CloseClient})
        action->setEnabled(running);
}

void TMainFrame::ChanelDisconnectCommand(int mode) {
    if (!controller_->HasSocket() || !controller_->ActionsEnabled()) return;
    controller_->SendCommands(
        ChanelDisconnectCommands(chanelRows_, tables_->ChanelData, static_cast<std::uint8_t>(mode)));
}

void TMainFrame::CloseClientExecute() {
    if (!controller_->HasSocket() || !controller_->ActionsEnabled()) return;
    controller_->SendCommands(CloseClientCommands(clientRows_, tables_->ClientData));
}

void TMainFrame::ColumnClick(bool chanelView, int column) {
    QTreeView* view = chanelView ? ChanelListView : ClientListView;
    const QModelIndex current = view->currentIndex();
    if (chanelView) {
        const int code = chanelSort_.Click(column, column);
        SortChanelRows(chanelRows_, tables_->ChanelData, code);
    } else {
        const int code = clientSort_.Click(column, kFirstClientColumnCode + column);
        SortClientRows(clientRows_, tables_->ClientData, code);
    }
    if (current.isValid()) view->scrollTo(view->currentIndex());
}

void TMainFrame::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TMainFrame::FormClose() {
    SaveClientOptions(*registry_, AutoRequest->isChecked(), UpDown->value(), EventCheckBox->isChecked());
}

bool TMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ConsoleMemo->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        ConsoleMemo->clear();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainFrame::LogEvent(const std::string& text) {
    ConsoleMemo->appendPlainText(QTime::currentTime().toString("HH:mm:ss") + " - " + Q(text));
}

std::string TMainFrame::AddressText() const { return AddrEdit->currentText().toStdString(); }
std::string TMainFrame::PortText() const { return PortEdit->text().toStdString(); }

void TMainFrame::SetServerEditsEnabled(bool enabled) {
    AddrEdit->setEnabled(enabled);
    PortEdit->setEnabled(enabled);
}

void TMainFrame::SetConnectCaption(const std::string& caption) { ConnectDisconectAction->setText(Q(caption)); }
bool TMainFrame::AutoRequestChecked() const { return AutoRequest->isChecked(); }
bool TMainFrame::EventsChecked() const { return EventCheckBox->isChecked(); }

void TMainFrame::ServerConnected(const std::string& address, const std::string& portText, std::uint16_t port) {
    AddServer(Servers, address, port);
    FillAddrList();
    SaveServerSettings(*registry_, address, portText, Servers);
}

void TMainFrame::SetPanelText(int panel, const std::string& text) {
    if (panel >= 0 && panel < 2) StatusPanel[panel]->setText(Q(text));
}

}  // namespace telv
