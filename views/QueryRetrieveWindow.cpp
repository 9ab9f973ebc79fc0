#include "views/QueryRetrieveWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "views/QueryResultsTree.h"
#include "views/RetrieveQueue.h"
#include "views/ServerDialog.h"
#include "views/StudySearch.h"
#include "views/UserDialogs.h"

namespace {

const QString kCaption = QStringLiteral("Query/Retrieve");
// Series of one study: more than any real study holds.
constexpr int kMaxSeries = 10000;

enum DateChoice { kAnyDate, kToday, kYesterday, kLastWeek, kLastMonth, kLastYear, kBetween };

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QString Plural(int count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

}  // namespace

CQueryRetrieveWindow::CQueryRetrieveWindow(IUserDialogs& dialogs, const QString& cacheFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("queryRetrieveWindow"));
    setWindowTitle(kCaption);
    resize(980, 640);
    m_queue = new CRetrieveQueue(cacheFolder, this);
    m_results = new CQueryResultsTree(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeServerRow());
    layout->addWidget(MakeSearchForm());
    layout->addWidget(m_results, 1);
    layout->addWidget(MakeRetrieveRow());

    connect(m_results, &CQueryResultsTree::seriesWanted, this, &CQueryRetrieveWindow::AskSeries);
    connect(m_results, &QTreeWidget::itemSelectionChanged, this, &CQueryRetrieveWindow::UpdateButtons);
    connect(m_results, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (CQueryResultsTree::IsSeries(item)) Retrieve(item, true);
    });
    connect(m_queue, &CRetrieveQueue::started, this, &CQueryRetrieveWindow::OnRetrieveStarted);
    connect(m_queue, &CRetrieveQueue::progressed, this, &CQueryRetrieveWindow::OnRetrieveProgress);
    connect(m_queue, &CRetrieveQueue::finished, this, &CQueryRetrieveWindow::OnRetrieveFinished);
    connect(m_queue, &CRetrieveQueue::idle, this, &CQueryRetrieveWindow::UpdateButtons);

    m_servers = LoadDicomServers();
    FillServerList(LoadChosenServer());
    UpdateButtons();
}

CQueryRetrieveWindow::~CQueryRetrieveWindow() = default;

QWidget* CQueryRetrieveWindow::MakeServerRow() {
    auto* box = new QGroupBox(QStringLiteral("Server"), this);
    m_serverList = Named(new QComboBox(box), "servers");
    m_serverList->setMinimumContentsLength(24);
    m_test = Named(new QPushButton(QStringLiteral("&Test"), box), "testServer");
    m_test->setToolTip(QStringLiteral("Ask the server whether it answers (C-ECHO)"));
    auto* add = Named(new QPushButton(QStringLiteral("&Add..."), box), "addServer");
    m_edit = Named(new QPushButton(QStringLiteral("&Edit..."), box), "editServer");
    m_remove = Named(new QPushButton(QStringLiteral("Remo&ve"), box), "removeServer");
    m_serverStatus = Named(new QLabel(box), "serverStatus");
    m_serverStatus->setWordWrap(true);
    auto* row = new QHBoxLayout(box);
    row->addWidget(m_serverList);
    row->addWidget(m_test);
    row->addWidget(add);
    row->addWidget(m_edit);
    row->addWidget(m_remove);
    row->addWidget(m_serverStatus, 1);
    connect(m_test, &QPushButton::clicked, this, &CQueryRetrieveWindow::TestServer);
    connect(add, &QPushButton::clicked, this, &CQueryRetrieveWindow::AddServer);
    connect(m_edit, &QPushButton::clicked, this, &CQueryRetrieveWindow::EditServer);
    connect(m_remove, &QPushButton::clicked, this, &CQueryRetrieveWindow::RemoveServer);
    connect(m_serverList, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < m_servers.size()) SaveChosenServer(index);
        m_serverStatus->clear();
        UpdateButtons();
    });
    return box;
}

QWidget* CQueryRetrieveWindow::MakeSearchForm() {
    auto* box = new QGroupBox(QStringLiteral("Search"), this);
    m_patientName = Named(new QLineEdit(box), "patientName");
    m_patientName->setToolTip(QStringLiteral("The beginning of the name, or a pattern with * and ?"));
    m_patientId = Named(new QLineEdit(box), "patientId");
    m_accession = Named(new QLineEdit(box), "accession");
    m_description = Named(new QLineEdit(box), "description");
    m_description->setToolTip(QStringLiteral("Words within the study description, or a pattern with * and ?"));
    m_modality = Named(new QComboBox(box), "modality");
    m_modality->setEditable(true);
    m_modality->addItems({QString(), QStringLiteral("CT"), QStringLiteral("MR"), QStringLiteral("US"),
                          QStringLiteral("CR"), QStringLiteral("DX"), QStringLiteral("MG"), QStringLiteral("NM"),
                          QStringLiteral("PT"), QStringLiteral("XA"), QStringLiteral("RF"), QStringLiteral("OT")});
    m_dateChoice = Named(new QComboBox(box), "dateChoice");
    m_dateChoice->addItems({QStringLiteral("Any date"), QStringLiteral("Today"), QStringLiteral("Yesterday"),
                            QStringLiteral("Last 7 days"), QStringLiteral("Last 30 days"),
                            QStringLiteral("Last 12 months"), QStringLiteral("Between...")});
    m_from = Named(new QDateEdit(QDate::currentDate().addMonths(-1), box), "dateFrom");
    m_to = Named(new QDateEdit(QDate::currentDate(), box), "dateTo");
    for (QDateEdit* edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    m_limit = Named(new QSpinBox(box), "limit");
    m_limit->setRange(1, 1000000);
    m_limit->setValue(1000);
    m_limit->setToolTip(QStringLiteral("At most this many studies are shown"));
    m_search = Named(new QPushButton(QStringLiteral("&Search"), box), "search");
    m_search->setDefault(true);
    m_searchStatus = Named(new QLabel(box), "searchStatus");
    m_searchStatus->setWordWrap(true);

    auto* dates = new QHBoxLayout;
    dates->addWidget(m_dateChoice);
    dates->addWidget(m_from);
    dates->addWidget(new QLabel(QStringLiteral("to"), box));
    dates->addWidget(m_to);
    auto* left = new QFormLayout;
    left->addRow(QStringLiteral("Patient &name:"), m_patientName);
    left->addRow(QStringLiteral("Patient &ID:"), m_patientId);
    left->addRow(QStringLiteral("Study &date:"), dates);
    auto* right = new QFormLayout;
    right->addRow(QStringLiteral("&Modality:"), m_modality);
    right->addRow(QStringLiteral("A&ccession:"), m_accession);
    right->addRow(QStringLiteral("Desc&ription:"), m_description);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_search);
    auto* limit = new QHBoxLayout;
    limit->addWidget(new QLabel(QStringLiteral("At most"), box));
    limit->addWidget(m_limit);
    buttons->addLayout(limit);
    buttons->addStretch();
    auto* fields = new QHBoxLayout;
    fields->addLayout(left, 1);
    fields->addLayout(right, 1);
    fields->addLayout(buttons);
    auto* column = new QVBoxLayout(box);
    column->addLayout(fields);
    column->addWidget(m_searchStatus);

    connect(m_search, &QPushButton::clicked, this, &CQueryRetrieveWindow::Search);
    for (QLineEdit* edit : {m_patientName, m_patientId, m_accession, m_description})
        connect(edit, &QLineEdit::returnPressed, this, &CQueryRetrieveWindow::Search);
    connect(m_dateChoice, &QComboBox::currentIndexChanged, this, &CQueryRetrieveWindow::ShowDateChoice);
    ShowDateChoice();
    return box;
}

QWidget* CQueryRetrieveWindow::MakeRetrieveRow() {
    auto* row = new QWidget(this);
    m_retrieve = Named(new QPushButton(QStringLiteral("&Retrieve"), row), "retrieve");
    m_retrieve->setToolTip(QStringLiteral("Bring the selected studies and series into the cache"));
    m_openOnArrival = Named(new QCheckBox(QStringLiteral("S&how the first series as it arrives"), row), "openOnArrival");
    m_openOnArrival->setChecked(true);
    m_progress = Named(new QProgressBar(row), "retrieveProgress");
    m_progress->setVisible(false);
    m_retrieveStatus = Named(new QLabel(row), "retrieveStatus");
    m_retrieveStatus->setWordWrap(true);
    m_cancel = Named(new QPushButton(QStringLiteral("Cancel"), row), "cancelRetrieve");
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_retrieve);
    layout->addWidget(m_openOnArrival);
    layout->addWidget(m_progress);
    layout->addWidget(m_retrieveStatus, 1);
    layout->addWidget(m_cancel);
    connect(m_retrieve, &QPushButton::clicked, this, &CQueryRetrieveWindow::RetrieveSelected);
    connect(m_cancel, &QPushButton::clicked, m_queue, &CRetrieveQueue::Cancel);
    return row;
}

void CQueryRetrieveWindow::ShowDateChoice() {
    const bool between = m_dateChoice->currentIndex() == kBetween;
    m_from->setEnabled(between);
    m_to->setEnabled(between);
}

void CQueryRetrieveWindow::FillServerList(int current) {
    const QSignalBlocker blocker(m_serverList);
    m_serverList->clear();
    for (const CDicomServer& server : m_servers) {
        m_serverList->addItem(QStringLiteral("%1 (%2@%3:%4)").arg(server.Label(), server.aeTitle, server.host).arg(server.port));
    }
    if (m_servers.isEmpty()) m_serverList->addItem(QStringLiteral("(no server: Add... sets one up)"));
    m_serverList->setCurrentIndex(std::clamp(current, 0, std::max(0, static_cast<int>(m_servers.size()) - 1)));
    UpdateButtons();
}

const CDicomServer* CQueryRetrieveWindow::CurrentServer() const {
    const int index = m_serverList->currentIndex();
    return index >= 0 && index < m_servers.size() ? &m_servers[index] : nullptr;
}

const CDicomServer* CQueryRetrieveWindow::UsableServer() {
    const CDicomServer* server = CurrentServer();
    const QString problem = server == nullptr ? QStringLiteral("No DICOM server is set up: Add... sets one up.")
                                              : server->Problem();
    if (problem.isEmpty()) return server;
    m_dialogs.ShowMessage(this, QMessageBox::Warning, kCaption, problem);
    return nullptr;
}

void CQueryRetrieveWindow::SaveServers() {
    SaveDicomServers(m_servers);
    SaveChosenServer(m_serverList->currentIndex());
}

void CQueryRetrieveWindow::AddServer() {
    CServerDialog dialog(CDicomServer{}, this);
    dialog.setWindowTitle(QStringLiteral("Add a DICOM Server"));
    if (m_dialogs.RunModal(dialog) != QDialog::Accepted) return;
    m_servers.push_back(dialog.Server());
    FillServerList(static_cast<int>(m_servers.size()) - 1);
    SaveServers();
}

void CQueryRetrieveWindow::EditServer() {
    const int index = m_serverList->currentIndex();
    if (index < 0 || index >= m_servers.size()) return;
    CServerDialog dialog(m_servers[index], this);
    if (m_dialogs.RunModal(dialog) != QDialog::Accepted) return;
    m_servers[index] = dialog.Server();
    FillServerList(index);
    SaveServers();
}

void CQueryRetrieveWindow::RemoveServer() {
    const int index = m_serverList->currentIndex();
    if (index < 0 || index >= m_servers.size()) return;
    m_servers.removeAt(index);
    FillServerList(index);
    SaveServers();
}

void CQueryRetrieveWindow::Abandon(CNetJob* job) {
    if (job == nullptr) return;
    job->disconnect();
    connect(job, &CNetJob::finished, job, &QObject::deleteLater);
    job->Cancel();
    if (!job->Running()) job->deleteLater();
}

void CQueryRetrieveWindow::TestServer() {
    const CDicomServer* server = UsableServer();
    if (server == nullptr) return;
    Abandon(m_echoJob);
    auto* job = new CNetJob(this);
    m_echoJob = job;
    const QString name = server->Label();
    m_serverStatus->setText(QStringLiteral("Asking %1...").arg(name));
    connect(job, &CNetJob::finished, this, [this, job, name](const CNetOutcome& outcome) {
        m_serverStatus->setText(outcome.failure.isEmpty() ? QStringLiteral("%1 answers.").arg(name)
                                                          : QStringLiteral("%1: %2").arg(name, outcome.failure));
        job->deleteLater();
        emit echoFinished();
    });
    job->Echo(*server);
}

void CQueryRetrieveWindow::Search() {
    const CDicomServer* server = UsableServer();
    if (server == nullptr) return;
    CStudySearch search;
    search.patientName = m_patientName->text();
    search.patientId = m_patientId->text();
    search.modality = m_modality->currentText();
    search.accession = m_accession->text();
    search.description = m_description->text();
    const QDate today = QDate::currentDate();
    switch (m_dateChoice->currentIndex()) {
    case kToday: search.from = search.to = today; break;
    case kYesterday: search.from = search.to = today.addDays(-1); break;
    case kLastWeek: search.from = today.addDays(-6), search.to = today; break;
    case kLastMonth: search.from = today.addDays(-29), search.to = today; break;
    case kLastYear: search.from = today.addYears(-1).addDays(1), search.to = today; break;
    case kBetween: search.from = m_from->date(), search.to = m_to->date(); break;
    default: break;
    }
    Abandon(m_findJob);
    for (const QPointer<CNetJob>& job : m_seriesJobs)
        Abandon(job);
    m_seriesJobs.clear();
    m_results->Reset();
    m_found = 0;
    m_searchStatus->setText(QStringLiteral("Searching %1...").arg(server->Label()));
    auto* job = new CNetJob(this);
    m_findJob = job;
    connect(job, &CNetJob::matchFound, this, [this](const CFoundValues& values) {
        m_results->AddStudy(values);
        ++m_found;
    });
    connect(job, &CNetJob::finished, this, [this, job](const CNetOutcome& outcome) {
        QString text = Plural(m_found, "study", "studies") + QStringLiteral(" found.");
        if (outcome.counts.value(QLatin1String("more_than_shown")).toBool()) {
            text = QStringLiteral("More results than shown: the first %1 are shown (raise \"At most\" to see more).")
                       .arg(m_found);
        }
        if (const int unreadable = outcome.Count("unreadable"); unreadable > 0) {
            text += QStringLiteral(" %1 left out: not readable.").arg(Plural(unreadable, "match", "matches"));
        }
        if (outcome.cancelled) {
            text = QStringLiteral("Search cancelled; %1 shown.").arg(Plural(m_found, "study", "studies"));
        } else if (!outcome.failure.isEmpty()) {
            text = QStringLiteral("The search failed: %1").arg(outcome.failure);
        }
        m_searchStatus->setText(text);
        job->deleteLater();
        emit searchFinished();
    });
    job->Find(*server, QStringLiteral("study"), StudySearchKeys(search), m_limit->value());
}

void CQueryRetrieveWindow::AskSeries(QTreeWidgetItem* study) {
    const CDicomServer* server = CurrentServer();
    if (server == nullptr || !server->Problem().isEmpty()) {
        m_results->SetSeriesNote(study, QStringLiteral("No server to ask for the series."));
        return;
    }
    m_results->SetSeriesNote(study, QStringLiteral("Searching for the series..."));
    auto* job = new CNetJob(this);
    m_seriesJobs.push_back(job);
    // The tree sorts as series arrive; the study stays where it is.
    connect(job, &CNetJob::matchFound, this, [this, study](const CFoundValues& values) {
        m_results->AddSeries(study, values);
    });
    connect(job, &CNetJob::finished, this, [this, job, study](const CNetOutcome& outcome) {
        int series = 0;
        for (int i = 0; i < study->childCount(); ++i)
            series += CQueryResultsTree::IsSeries(study->child(i)) ? 1 : 0;
        QString note;
        if (!outcome.failure.isEmpty()) {
            note = QStringLiteral("The series could not be had: %1").arg(outcome.failure);
        } else if (series == 0) {
            note = QStringLiteral("The server lists no series in this study.");
        }
        m_results->SetSeriesNote(study, note);
        m_seriesJobs.removeAll(job);
        job->deleteLater();
        emit seriesFound(study);
    });
    job->Find(*server, QStringLiteral("series"),
              {QStringLiteral("StudyInstanceUID=") + CQueryResultsTree::StudyUid(study)}, kMaxSeries);
}

void CQueryRetrieveWindow::RetrieveSelected() {
    const QList<QTreeWidgetItem*> selected = m_results->selectedItems();
    bool first = true;
    for (QTreeWidgetItem* item : selected) {
        // A series goes with its study when both are chosen.
        if (CQueryResultsTree::IsSeries(item) && item->parent()->isSelected()) continue;
        if (!CQueryResultsTree::IsSeries(item) && !CQueryResultsTree::IsStudy(item)) continue;
        Retrieve(item, first && m_openOnArrival->isChecked());
        first = false;
    }
}

void CQueryRetrieveWindow::Retrieve(QTreeWidgetItem* item, bool open) {
    const CDicomServer* server = UsableServer();
    if (server == nullptr) return;
    CRetrieveItem request;
    request.server = *server;
    request.studyUid = CQueryResultsTree::StudyUid(item);
    request.seriesUid = CQueryResultsTree::SeriesUid(item);
    request.label = CQueryResultsTree::Describe(item);
    request.open = open;
    m_queue->Add(request);
    UpdateButtons();
}

void CQueryRetrieveWindow::OnRetrieveStarted(const CRetrieveItem& item) {
    m_progress->setVisible(true);
    m_progress->setRange(0, 0);
    QString text = QStringLiteral("Retrieving %1...").arg(item.label);
    if (m_queue->Waiting() > 0) text += QStringLiteral(" (%1 more waiting)").arg(m_queue->Waiting());
    m_retrieveStatus->setText(text);
    UpdateButtons();
}

void CQueryRetrieveWindow::OnRetrieveProgress(const CRetrieveItem& item, int stored, int total, int failed) {
    if (total > 0) {
        m_progress->setRange(0, total);
        m_progress->setValue(std::min(stored, total));
    }
    QString text = total > 0 ? QStringLiteral("Retrieving %1: %2 of %3 files").arg(item.label).arg(stored).arg(total)
                             : QStringLiteral("Retrieving %1: %2").arg(item.label, Plural(stored, "file", "files"));
    if (failed > 0) text += QStringLiteral(", %1 failed").arg(failed);
    if (m_queue->Waiting() > 0) text += QStringLiteral(" (%1 more waiting)").arg(m_queue->Waiting());
    m_retrieveStatus->setText(text);
}

void CQueryRetrieveWindow::OnRetrieveFinished(const CRetrieveItem& item, const CNetOutcome& outcome) {
    const QString files = Plural(outcome.Count("files"), "file", "files");
    QString text;
    if (outcome.cancelled) {
        text = QStringLiteral("Retrieve of %1 cancelled; the %2 that arrived are kept.").arg(item.label, files);
    } else if (!outcome.failure.isEmpty()) {
        text = QStringLiteral("Retrieve of %1 stopped: %2 (%3 arrived and are kept)").arg(item.label, outcome.failure, files);
    } else {
        text = QStringLiteral("Retrieved %1 of %2.").arg(files, item.label);
        if (!outcome.Text("warning").isEmpty()) text += QLatin1Char(' ') + outcome.Text("warning");
    }
    if (const int notKept = outcome.Count("not_kept"); notKept > 0) {
        text += QStringLiteral(" %1 not kept: %2").arg(Plural(notKept, "file", "files"), outcome.Text("not_kept_reason"));
    }
    m_retrieveStatus->setText(text);
    m_progress->setVisible(m_queue->Waiting() > 0);
    UpdateButtons();
}

void CQueryRetrieveWindow::UpdateButtons() {
    const bool server = CurrentServer() != nullptr;
    m_test->setEnabled(server);
    m_edit->setEnabled(server);
    m_remove->setEnabled(server);
    bool chosen = false;
    for (QTreeWidgetItem* item : m_results->selectedItems())
        chosen = chosen || CQueryResultsTree::IsStudy(item) || CQueryResultsTree::IsSeries(item);
    m_retrieve->setEnabled(server && chosen);
    m_cancel->setEnabled(m_queue->Busy());
}
