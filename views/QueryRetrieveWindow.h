// File > Query/Retrieve: finds studies on a DICOM server and retrieves them into the
// cache folder. The servers the user has set up are kept in the settings, each
// testable with C-ECHO; the search fields make a study-level C-FIND; the studies
// found unfold into their series (a series-level C-FIND the first time); Retrieve
// queues the selected studies and series, with progress and Cancel. Every exchange
// runs in the network helper, so the window never waits on a server.
#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include "views/DicomServers.h"
#include "views/NetJob.h"

class CQueryResultsTree;
class CRetrieveQueue;
struct CRetrieveItem;
class IUserDialogs;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTreeWidgetItem;

class CQueryRetrieveWindow : public QWidget {
    Q_OBJECT
public:
    // Retrieved files go under `cacheFolder`, one folder per study.
    CQueryRetrieveWindow(IUserDialogs& dialogs, const QString& cacheFolder, QWidget* parent = nullptr);
    ~CQueryRetrieveWindow() override;

    CRetrieveQueue& Queue() const { return *m_queue; }
    CQueryResultsTree* Results() const { return m_results; }
    const QList<CDicomServer>& Servers() const { return m_servers; }
    // The server chosen in the list; null when there is none.
    const CDicomServer* CurrentServer() const;

    // The commands behind the buttons.
    void AddServer();
    void EditServer();
    void RemoveServer();
    void TestServer();
    void Search();
    // Queues the selected studies and series.
    void RetrieveSelected();
    // Queues one study or series; `open` shows its first series as it arrives.
    void Retrieve(QTreeWidgetItem* item, bool open);

signals:
    // A search or a series query ended (for tests and the bench).
    void searchFinished();
    void seriesFound(QTreeWidgetItem* study);
    void echoFinished();

private:
    QWidget* MakeServerRow();
    QWidget* MakeSearchForm();
    QWidget* MakeRetrieveRow();
    void FillServerList(int current);
    void SaveServers();
    void ShowDateChoice();
    // Ends a job that is no longer wanted without waiting for it.
    static void Abandon(CNetJob* job);
    void AskSeries(QTreeWidgetItem* study);
    void OnRetrieveStarted(const CRetrieveItem& item);
    void OnRetrieveProgress(const CRetrieveItem& item, int stored, int total, int failed);
    void OnRetrieveFinished(const CRetrieveItem& item, const CNetOutcome& outcome);
    void UpdateButtons();
    // The server to talk to, or null after telling the user why there is none.
    const CDicomServer* UsableServer();

    IUserDialogs& m_dialogs;
    QList<CDicomServer> m_servers;
    CRetrieveQueue* m_queue = nullptr;

    QComboBox* m_serverList = nullptr;
    QPushButton* m_test = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_remove = nullptr;
    QLabel* m_serverStatus = nullptr;

    QLineEdit* m_patientName = nullptr;
    QLineEdit* m_patientId = nullptr;
    QLineEdit* m_accession = nullptr;
    QLineEdit* m_description = nullptr;
    QComboBox* m_modality = nullptr;
    QComboBox* m_dateChoice = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QSpinBox* m_limit = nullptr;
    QPushButton* m_search = nullptr;
    QLabel* m_searchStatus = nullptr;

    CQueryResultsTree* m_results = nullptr;

    QPushButton* m_retrieve = nullptr;
    QCheckBox* m_openOnArrival = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_retrieveStatus = nullptr;
    QPushButton* m_cancel = nullptr;

    QPointer<CNetJob> m_echoJob;
    QPointer<CNetJob> m_findJob;
    QList<QPointer<CNetJob>> m_seriesJobs;
    int m_found = 0;
};
