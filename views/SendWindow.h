// File > Send To: sends the current file, its series or its study to one of the
// DICOM servers set up in Query/Retrieve (C-STORE, by the network helper), with
// progress and one line per file saying whether the server took it, and why not.
#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "views/DicomServers.h"
#include "views/NetJob.h"

class IUserDialogs;
class QButtonGroup;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QVBoxLayout;

// One thing that may be sent: "this file", "this series (120 files)"...
struct CSendChoice {
    QString label;
    QStringList files;
};

class CSendWindow : public QWidget {
    Q_OBJECT
public:
    enum Column { kFile, kResult };

    CSendWindow(IUserDialogs& dialogs, QWidget* parent = nullptr);
    ~CSendWindow() override;

    // Offers `choices`, the first chosen; replaces what was offered unless a send runs.
    void Offer(const QList<CSendChoice>& choices);
    // Sends the chosen files to the chosen server.
    void Send();
    void Cancel();
    bool Sending() const { return m_job != nullptr; }
    QTreeWidget* Results() const { return m_results; }

signals:
    void sendFinished();

private:
    void FillServers();
    void OnFileSent(int index, bool stored, const QString& problem);
    void OnFinished(const CNetOutcome& outcome);
    void UpdateButtons();

    IUserDialogs& m_dialogs;
    QList<CDicomServer> m_servers;
    QList<CSendChoice> m_choices;
    QStringList m_sending;  // the files of the send under way, in the order given
    int m_done = 0;

    QVBoxLayout* m_choiceBox = nullptr;
    QButtonGroup* m_choiceGroup = nullptr;
    QComboBox* m_serverList = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_cancel = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QTreeWidget* m_results = nullptr;
    QPointer<CNetJob> m_job;
};
