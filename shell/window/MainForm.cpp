#include "MainForm.h"

#include "ChmViewer.h"
#include "DisconnectCommands.h"
#include "HeaderColumns.h"
#include "Help.h"
#include "LogKeeper.h"
#include "OwnVersion.h"
#include "Reconnector.h"
#include "RowExport.h"
#include "RowTexts.h"
#include "RowsView.h"
#include "SaveFileDialog.h"
#include "Sorting.h"
#include "TotalsPanels.h"
#include "TrafficChart.h"
#include "WholeFile.h"
#include "WindowLayout.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStringListModel>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTime>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace telv {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The document's columns, then the rate column.
const QStringList kChanelHeaders = {"ID прибора",     "Тип прибора", "Адрес",            "Событие",
                                    "Время на связи", "RX / TX",     "Состояние канала", "Скорость RX / TX"};
const int kChanelWidths[] = {100, 100, 120, 100, 100, 100, 150, 170};
const QStringList kClientHeaders = {"ID клиента", "Адрес", "Время на связи", "RX / TX", "Состояние", "Скорость RX / TX"};
const int kClientWidths[] = {180, 120, 100, 150, 220, 170};

// The filter looks at the device ID, model and address of a channel, the name and address of a client.
const std::vector<int> kChanelFilterColumns = {0, 1, 2};
const std::vector<int> kClientFilterColumns = {0, 1};
// Typing in a filter box applies the text after this pause.
constexpr int kFilterDelayMs = 150;

// "HH:mm:ss" of the local time, formatted once a second: a flood of events asks for it a hundred
// thousand times a second, and each local time costs a look at the time zone.
const QByteArray& TimeOfDayText() {
    static std::time_t formattedSecond = -1;
    static QByteArray formatted;
    const std::time_t now = std::time(nullptr);
    if (now != formattedSecond) {
        formattedSecond = now;
        formatted = QTime::currentTime().toString("HH:mm:ss").toUtf8();
    }
    return formatted;
}

}  // namespace

TMainFrame::TMainFrame(std::unique_ptr<TRegistry> registry, QWidget* parent)
    : QMainWindow(parent),
      saveReport_([this](const std::string& line) { ReportFailure(line); }),
      settings_(std::make_unique<SettingsWriter>(registry ? std::move(registry) : std::make_unique<TRegistry>(),
                                                 [this](const SettingsWriter::Result& result) {
                                                     if (result.Saved)
                                                         saveReport_.Saved();
                                                     else
                                                         saveReport_.Failed(result.Reason);
                                                 })),
      chanelRows_(kChanelViewColumns, RenderCell),
      clientRows_(kClientViewColumns, RenderCell) {
    tables_ = std::make_unique<MonitorTables>(chanelRows_, clientRows_, static_cast<StatusPanels&>(*this));
    tables_->AfterTotals = [this] {
        RatesPanel->SetText(Q(RateTotalsText(tables_->ChanelRates, tables_->ClientRates)));
        Traffic->AddSample(QDateTime::currentMSecsSinceEpoch(), *tables_);
    };
    controller_ = std::make_unique<ConnectionController>(static_cast<ConnectionView&>(*this), *tables_);
    // A refresh of very many rows goes in pieces, one a turn of the event loop; the connection
    // holds its next messages until the last piece is done.
    tables_->Later = [this](std::function<void()> piece) { QTimer::singleShot(0, this, std::move(piece)); };
    tables_->PassDone = [this] { controller_->ResumeDispatch(); };
    TAsyncSocket::SockInit();
    settings_->WithRegistry([this](TRegistry& store) { historyLate_ = IsHistoryReadLate(store); });
    BuildControls();
    FormCreate();
    if (historyLate_) StartLateHistory();
}

TMainFrame::~TMainFrame() {
    // The socket goes first, closed without a word to the server; then the tables and rows.
    controller_.reset();
    logKeeper_.reset();  // the last lines go to the log file
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
        reconnect_->Stop();  // the operator decides now
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

    CopyAction = new QAction("Копировать", this);
    ExportAction = new QAction("Экспорт в CSV...", this);
    FilterAction = new QAction("Фильтр", this);
    ChanelTabAction = new QAction("Приборы", this);
    ClientTabAction = new QAction("Клиенты", this);
    ChartTabAction = new QAction("Трафик", this);
    ShowOnChartAction = new QAction("Показать на графике", this);
    RemoveFromChartAction = new QAction("Убрать с графика", this);
    HelpAction = new QAction("Справка", this);
    ExitAction = new QAction("Выход", this);
    ConnectDisconectAction->setShortcut(Qt::CTRL | Qt::Key_D);
    RequestAction->setShortcut(Qt::Key_F5);
    // The commands and copying act on the selected rows of the view that has the focus.
    ResetChanel->setShortcut(Qt::CTRL | Qt::Key_Delete);
    CloseChanel->setShortcut(Qt::Key_Delete);
    CloseChanelInterval->setShortcut(Qt::SHIFT | Qt::Key_Delete);
    CloseClient->setShortcut(Qt::Key_Delete);
    CopyAction->setShortcut(QKeySequence::Copy);
    for (QAction* action : {ResetChanel, CloseChanel, CloseChanelInterval, CloseClient, CopyAction})
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ExportAction->setShortcut(Qt::CTRL | Qt::Key_S);
    FilterAction->setShortcut(QKeySequence::Find);
    ChanelTabAction->setShortcut(Qt::CTRL | Qt::Key_1);
    ClientTabAction->setShortcut(Qt::CTRL | Qt::Key_2);
    ChartTabAction->setShortcut(Qt::CTRL | Qt::Key_3);
    HelpAction->setShortcut(QKeySequence::HelpContents);
    ExitAction->setShortcut(Qt::CTRL | Qt::Key_Q);
    connect(CopyAction, &QAction::triggered, this, &TMainFrame::CopySelectedRows);
    connect(ExportAction, &QAction::triggered, this, &TMainFrame::ExportActiveView);
    connect(FilterAction, &QAction::triggered, this, &TMainFrame::FocusFilter);
    connect(ChanelTabAction, &QAction::triggered, this, [this] { PageControl1->setCurrentIndex(0); });
    connect(ClientTabAction, &QAction::triggered, this, [this] { PageControl1->setCurrentIndex(1); });
    connect(ChartTabAction, &QAction::triggered, this, [this] { PageControl1->setCurrentIndex(2); });
    connect(ShowOnChartAction, &QAction::triggered, this, [this] { ShowSelectedOnChart(ActiveView()); });
    connect(RemoveFromChartAction, &QAction::triggered, this, [this] { RemoveSelectedFromChart(ActiveView()); });
    connect(HelpAction, &QAction::triggered, this,
            [this] { FormHelp(kKeywordHelpCommand, std::string(kWindowHelpKeyword).c_str()); });
    connect(ExitAction, &QAction::triggered, this, &QWidget::close);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(BuildToolBar());

    chanelModel_ = new ListViewModel(chanelRows_, kChanelHeaders, this);
    clientModel_ = new ListViewModel(clientRows_, kClientHeaders, this);
    chanelModel_->SetFilterColumns(kChanelFilterColumns);
    clientModel_->SetFilterColumns(kClientFilterColumns);
    chanelPopup_ = new QMenu(this);
    chanelPopup_->addActions({ResetChanel, CloseChanel, CloseChanelInterval});
    clientPopup_ = new QMenu(this);
    clientPopup_->addAction(CloseClient);
    for (QMenu* popup : {chanelPopup_, clientPopup_}) {
        popup->addSeparator();
        popup->addActions({CopyAction, ExportAction});
        popup->addSeparator();
        popup->addActions({ShowOnChartAction, RemoveFromChartAction});
    }
    ChanelListView = BuildListView(chanelModel_, chanelPopup_);
    ClientListView = BuildListView(clientModel_, clientPopup_);
    ChanelListView->addActions({ResetChanel, CloseChanel, CloseChanelInterval, CopyAction});
    ClientListView->addActions({CloseClient, CopyAction});
    for (int i = 0; i < kChanelHeaders.size(); ++i) ChanelListView->setColumnWidth(i, kChanelWidths[i]);
    for (int i = 0; i < kClientHeaders.size(); ++i) ClientListView->setColumnWidth(i, kClientWidths[i]);
    connect(ChanelListView->header(), &QHeaderView::sectionClicked, this, [this](int c) { ColumnClick(true, c); });
    connect(ClientListView->header(), &QHeaderView::sectionClicked, this, [this](int c) { ColumnClick(false, c); });
    InstallColumnMenu(ChanelListView);
    InstallColumnMenu(ClientListView);

    ChanelFilter = new QLineEdit;
    ChanelFilter->setPlaceholderText("Фильтр: ID, адрес, модель");
    ClientFilter = new QLineEdit;
    ClientFilter->setPlaceholderText("Фильтр: имя клиента, адрес");
    filterTimer_.setSingleShot(true);
    filterTimer_.setInterval(kFilterDelayMs);
    connect(&filterTimer_, &QTimer::timeout, this, &TMainFrame::ApplyFilters);
    for (auto [filter, view] : {std::pair{ChanelFilter, ChanelListView}, std::pair{ClientFilter, ClientListView}}) {
        filter->setClearButtonEnabled(true);
        filter->installEventFilter(this);
        connect(filter, &QLineEdit::textChanged, &filterTimer_, qOverload<>(&QTimer::start));
        connect(filter, &QLineEdit::returnPressed, this, [this, view] {
            ApplyFilters();
            view->setFocus();
        });
    }

    PageControl1 = new QTabWidget;
    PageControl1->addTab(BuildFilteredPage(ChanelFilter, ChanelListView), "Приборы");
    PageControl1->addTab(BuildFilteredPage(ClientFilter, ClientListView), "Клиенты");
    Traffic = new TrafficChart;
    PageControl1->addTab(Traffic, "Трафик");
    connect(PageControl1, &QTabWidget::currentChanged, this, &TMainFrame::UpdateShownPanel);
    connect(chanelModel_, &ListViewModel::ShownRowsChanged, this, &TMainFrame::UpdateShownPanel);
    connect(clientModel_, &ListViewModel::ShownRowsChanged, this, &TMainFrame::UpdateShownPanel);

    ConsoleMemo = new LogPane(kMaxLogLines);
    ConsoleMemo->viewport()->installEventFilter(this);

    Splitter2 = new QSplitter(Qt::Vertical);
    Splitter2->setHandleWidth(4);
    Splitter2->addWidget(PageControl1);
    Splitter2->addWidget(ConsoleMemo);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setSizes({467 - 37 - 86 - 4 - 22, 86});
    layout->addWidget(Splitter2, 1);
    setCentralWidget(central);

    AddTotalsPanels(*statusBar(), StatusPanel);
    RatesPanel = new SparePanel(*statusBar(), StatusPanel);
    ShownPanel = new QLabel;
    ShownPanel->setTextFormat(Qt::PlainText);
    ShownPanel->hide();
    statusBar()->addPermanentWidget(ShownPanel);
    BuildReconnect();
    BuildLogKeeping();
    BuildMenuBar();
    // The client area stays as designed, unless the totals need more; the menu bar comes on top.
    resize(std::max(785, statusBar()->sizeHint().width()), 467 + menuBar()->sizeHint().height());

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

    AddrEdit = new AddressBox;
    AddrEdit->setMinimumWidth(110);
    // The remembered addresses as one list: a long history is replaced in one step.
    addrList_ = new QStringListModel(this);
    AddrEdit->setModel(addrList_);
    // Sized for an address, not by measuring every remembered one (the history may be long).
    AddrEdit->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    AddrEdit->setMinimumContentsLength(15);
    if (auto* list = qobject_cast<QListView*>(AddrEdit->view())) list->setUniformItemSizes(true);
    PortEdit = new QLineEdit;
    PortEdit->setFixedWidth(50);
    ConnectButton = new QPushButton;
    ConnectButton->setFixedWidth(100);
    ConnectButton->setText(ConnectDisconectAction->text());
    connect(ConnectButton, &QPushButton::clicked, ConnectDisconectAction, &QAction::trigger);
    connect(ConnectDisconectAction, &QAction::changed, this,
            [this] { ConnectButton->setText(ConnectDisconectAction->text()); });
    // Only the operator's edits and picks run the port lookup.
    connect(AddrEdit, &AddressBox::OperatorChanged, this, &TMainFrame::AddrEditChange);

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
    auto* view = new RowsView;
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
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view, popup](const QPoint& at) { ShowPopup(view, popup, at); });
    view->installEventFilter(this);  // the menu key: see eventFilter
    return view;
}

QWidget* TMainFrame::BuildFilteredPage(QLineEdit* filter, QTreeView* view) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 2, 0, 0);
    column->setSpacing(2);
    column->addWidget(filter);
    column->addWidget(view, 1);
    return page;
}

void TMainFrame::BuildMenuBar() {
    QMenu* file = menuBar()->addMenu("Файл");
    file->addActions({ConnectDisconectAction, RequestAction, ReconnectAction, LogToFileAction});
    file->addSeparator();
    file->addActions({ExportAction, SaveLogAction});
    file->addSeparator();
    file->addAction(ExitAction);
    QMenu* edit = menuBar()->addMenu("Правка");
    edit->addActions({CopyAction, FilterAction});
    QMenu* show = menuBar()->addMenu("Вид");
    show->addActions({ChanelTabAction, ClientTabAction, ChartTabAction});
    QMenu* commands = menuBar()->addMenu("Команды");
    commands->addActions({ResetChanel, CloseChanel, CloseChanelInterval});
    commands->addSeparator();
    commands->addAction(CloseClient);
    connect(commands, &QMenu::aboutToShow, this, &TMainFrame::ActionUpdate);
    QMenu* help = menuBar()->addMenu("Справка");
    help->addAction(HelpAction);
}

void TMainFrame::ShowPopup(QTreeView* view, QMenu* popup, const QPoint& at) {
    ActionUpdate();
    popup->popup(view->viewport()->mapToGlobal(at));
}

QTreeView* TMainFrame::ActiveView() const {
    return PageControl1->currentIndex() == 1 ? ClientListView : ChanelListView;
}

bool TMainFrame::ChartTabShown() const { return PageControl1->currentWidget() == Traffic; }

void TMainFrame::ShowSelectedOnChart(QTreeView* view) {
    const bool client = view == ClientListView;
    const ListViewModel* model = ModelOf(view);
    for (const TListItem* item : model->ShownRows()) {
        if (!item->Selected()) continue;
        // A channel by its device ID; a client by its name and address, which tell clients apart.
        QString name = Q(model->Rows().Text(*item, 0));
        if (client) name += " " + Q(model->Rows().Text(*item, 1));
        if (!Traffic->FollowRow({client, static_cast<Handle>(item->Data), name}) &&
            Traffic->Followed().size() >= TrafficChart::kMaxRows)
            break;
    }
}

void TMainFrame::RemoveSelectedFromChart(QTreeView* view) {
    for (const TListItem* item : ModelOf(view)->ShownRows())
        if (item->Selected()) Traffic->UnfollowRow(view == ClientListView, static_cast<Handle>(item->Data));
}

ListViewModel* TMainFrame::ModelOf(QTreeView* view) const {
    return view == ClientListView ? clientModel_ : chanelModel_;
}

void TMainFrame::ApplyFilters() {
    filterTimer_.stop();
    controller_->SettlePending();  // filters the rows of whole refreshes
    chanelModel_->SetFilterText(ChanelFilter->text());
    clientModel_->SetFilterText(ClientFilter->text());
}

void TMainFrame::FocusFilter() {
    QLineEdit* filter = ActiveView() == ClientListView ? ClientFilter : ChanelFilter;
    filter->setFocus(Qt::ShortcutFocusReason);
    filter->selectAll();
}

// "Показано N из M" for the active tab while its filter hides rows; the totals panels stay.
void TMainFrame::UpdateShownPanel() {
    const ListViewModel* model = ModelOf(ActiveView());
    if (!model->Filtered() || ChartTabShown()) {
        ShownPanel->hide();
        return;
    }
    ShownPanel->setText(QString("Показано %1 из %2").arg(model->rowCount()).arg(model->TotalRowCount()));
    ShownPanel->show();
}

QString TMainFrame::SelectedRowsText(QTreeView* view) const {
    const ListViewModel* model = ModelOf(view);
    // Rows the filter hides are never selected, so these are the selected rows on screen.
    std::vector<const TListItem*> rows;
    for (const TListItem* item : model->ShownRows())
        if (item->Selected()) rows.push_back(item);
    if (rows.empty()) return {};
    std::vector<std::string> captions;
    for (int c = 0; c < model->columnCount(); ++c) captions.push_back(model->HeaderText(c).toStdString());
    return Q(TabSeparatedText(ViewTable(model->Rows(), captions, ColumnsShown(view), std::move(rows))));
}

void TMainFrame::CopySelectedRows() {
    if (ChartTabShown()) return;
    const QString text = SelectedRowsText(ActiveView());
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

bool TMainFrame::ExportCsv(QTreeView* view, const QString& path, QString& error) const {
    const ListViewModel* model = ModelOf(view);
    std::vector<std::string> captions;
    for (int c = 0; c < model->columnCount(); ++c) captions.push_back(model->HeaderText(c).toStdString());
    const std::vector<const TListItem*> rows(model->ShownRows().begin(), model->ShownRows().end());
    QByteArray bytes;
    WriteCsv(ViewTable(model->Rows(), captions, ColumnsShown(view), rows), [&bytes](std::string_view piece) {
        bytes.append(piece.data(), static_cast<qsizetype>(piece.size()));
        return true;
    });
    return WriteWholeFile(path, bytes, &error);
}

void TMainFrame::ExportActiveView() {
    if (ChartTabShown()) {
        Traffic->ExportWithDialog();
        return;
    }
    QTreeView* view = ActiveView();
    const QString name = view == ClientListView ? "Клиенты.csv" : "Приборы.csv";
    const QString path = AskSavePath(this, "Экспорт в CSV", name, kCsvFileFilter, "csv");
    if (path.isEmpty()) return;
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    controller_->SettlePending();  // the file holds whole refreshes
    const bool exported = ExportCsv(view, path, error);
    QApplication::restoreOverrideCursor();
    if (!exported)
        QMessageBox::critical(this, "Экспорт в CSV", QString("Не удалось записать файл %1:\n%2").arg(path, error));
}

// Reads the settings into the controls, then the caption and help.
void TMainFrame::FormCreate() {
    ClientSettings settings;
    ReadSettings([this, &settings](TRegistry& registry) { settings = ReadClientSettings(registry, !historyLate_); });
    AddrEdit->setEditText(Q(settings.ServerAddress));
    PortEdit->setText(Q(settings.ServerPort));
    AutoRequest->setChecked(settings.AutoRequest);
    AutoRequestClick();
    UpDown->setValue(settings.AutoRequestInterval);
    UpDownChangingEx(UpDown->value());
    EventCheckBox->setChecked(settings.EnableEventTranslate);
    Servers = settings.History;
    FillAddrList();

    RestoreLayout();

    setWindowTitle(windowTitle() + " " + Q(ReadOwnVersion(controller_->ClientVersion)));

    helpViewer_ = LoadHtmlHelp();  // F1: HelpAction
}

void TMainFrame::RestoreLayout() {
    const WindowShape shape{static_cast<int>(kChanelHeaders.size()), static_cast<int>(kClientHeaders.size()),
                            Splitter2->count(), PageControl1->count(), kChanelViewColumns - kChanelColumns,
                            kClientViewColumns - kClientColumns};
    WindowLayout layout;
    ReadSettings([&](TRegistry& registry) { layout = ReadWindowLayout(registry, shape); });
    ApplyColumnLayout(ChanelListView, layout.ChanelColumns);
    ApplyColumnLayout(ClientListView, layout.ClientColumns);
    if (layout.ChanelHidden) SetHiddenColumns(ChanelListView, *layout.ChanelHidden);
    if (layout.ClientHidden) SetHiddenColumns(ClientListView, *layout.ClientHidden);
    if (!layout.SplitterSizes.empty())
        Splitter2->setSizes(QList<int>(layout.SplitterSizes.begin(), layout.SplitterSizes.end()));
    if (layout.ActiveTab) PageControl1->setCurrentIndex(*layout.ActiveTab);
    std::optional<WindowPlace> place = layout.Place;
    if (!place && !layout.WindowGeometry.empty()) place = PlaceFromGeometryRecord(*this, layout.WindowGeometry);
    PlaceWindow(*this, place);
}

void TMainFrame::SaveLayout() {
    WindowLayout layout;
    layout.ChanelColumns = ColumnLayoutOf(ChanelListView);
    layout.ClientColumns = ColumnLayoutOf(ClientListView);
    layout.ChanelHidden = HiddenColumns(ChanelListView);
    layout.ClientHidden = HiddenColumns(ClientListView);
    const QList<int> sizes = Splitter2->sizes();
    layout.SplitterSizes.assign(sizes.begin(), sizes.end());
    if (!ParseSizes(FormatSizes(layout.SplitterSizes), Splitter2->count())) layout.SplitterSizes.clear();
    layout.ActiveTab = PageControl1->currentIndex();
    layout.Place = PlaceOf(*this);
    settings_->Post(SettingsWriter::Kind::Layout,
                    [layout](TRegistry& registry) { return SaveWindowLayout(registry, layout); });
}

bool TMainFrame::FormHelp(std::uint16_t command, const char* keyword) {
    bool callHelp = false;
    return telv::FormHelp(helpViewer_, command, keyword, callHelp);
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
    controller_->SettlePending();  // sorts the rows of whole refreshes
    if (chanelView && column == kChanelRateColumn) {
        SortRowsByRate(chanelRows_, tables_->LiveChanels, chanelSort_.Click(column, kChanelRateColumnCode));
    } else if (chanelView) {
        const int code = chanelSort_.Click(column, column);
        SortChanelRows(chanelRows_, tables_->ChanelData, code);
    } else if (column == kClientRateColumn) {
        SortRowsByRate(clientRows_, tables_->LiveClients, clientSort_.Click(column, kClientRateColumnCode));
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
    settings_->Post(SettingsWriter::Kind::Options,
                    [autoRequest = AutoRequest->isChecked(), interval = UpDown->value(),
                     events = EventCheckBox->isChecked()](TRegistry& registry) {
                        return SaveClientOptions(registry, autoRequest, interval, events);
                    });
    SaveLayout();
    settings_->Flush();  // the program may end with the window: everything is on disk first
    logKeeper_->Flush();
}

void TMainFrame::ReportFailure(const std::string& line) {
    // Also on the error output: a failure at close has no log pane left to show it.
    std::fprintf(stderr, "telv-console: %s\n", line.c_str());
    LogEvent(line);
}

bool TMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && ConsoleMemo && watched == ConsoleMemo->viewport()) {
        ConsoleMemo->Clear();
        return true;
    }
    // The menu key opens a view's popup menu at its current row.
    if ((watched == ChanelListView || watched == ClientListView) && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        auto* view = static_cast<QTreeView*>(watched);
        const QRect row = view->visualRect(view->currentIndex());
        const QPoint at = row.isValid() && view->viewport()->rect().intersects(row) ? row.center() : QPoint(0, 0);
        ShowPopup(view, view == ChanelListView ? chanelPopup_ : clientPopup_, at);
        return true;
    }
    // Escape in a filter box clears it.
    if ((watched == ChanelFilter || watched == ClientFilter) && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !static_cast<QLineEdit*>(watched)->text().isEmpty()) {
        static_cast<QLineEdit*>(watched)->clear();
        ApplyFilters();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainFrame::LogEvent(const std::string& text) {
    // Built in UTF-8 as the pane keeps it: a flood of events makes this the busiest path of the window.
    const QByteArray& time = TimeOfDayText();
    QByteArray line;
    line.reserve(time.size() + 3 + static_cast<qsizetype>(text.size()));
    line.append(time).append(" - ").append(text.data(), static_cast<qsizetype>(text.size()));
    if (logKeeper_) logKeeper_->Add(line);
    ConsoleMemo->AppendUtf8(std::move(line));
}

std::string TMainFrame::AddressText() const { return AddrEdit->currentText().toStdString(); }
std::string TMainFrame::PortText() const { return PortEdit->text().toStdString(); }

void TMainFrame::SetServerEditsEnabled(bool enabled) {
    AddrEdit->setEnabled(enabled);
    PortEdit->setEnabled(enabled);
    if (enabled && Traffic) Traffic->AddGap();  // the connection ended: the chart shows the gap
}

void TMainFrame::SetConnectCaption(const std::string& caption) { ConnectDisconectAction->setText(Q(caption)); }
bool TMainFrame::AutoRequestChecked() const { return AutoRequest->isChecked(); }
bool TMainFrame::EventsChecked() const { return EventCheckBox->isChecked(); }

void TMainFrame::SetPanelText(int panel, const std::string& text) {
    if (panel >= 0 && panel < 2) StatusPanel[panel]->setText(Q(text));
}

}  // namespace telv
