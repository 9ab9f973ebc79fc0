#include "views/SendWindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "views/UserDialogs.h"

namespace {

const QString kCaption = QStringLiteral("Send To");

}  // namespace

CSendWindow::CSendWindow(IUserDialogs& dialogs, QWidget* parent) : QWidget(parent, Qt::Window), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("sendWindow"));
    setWindowTitle(kCaption);
    resize(640, 480);
    auto* what = new QGroupBox(QStringLiteral("Send"), this);
    m_choiceBox = new QVBoxLayout(what);
    m_choiceGroup = new QButtonGroup(this);
    m_serverList = new QComboBox(this);
    m_serverList->setObjectName(QStringLiteral("sendServers"));
    m_send = new QPushButton(QStringLiteral("&Send"), this);
    m_send->setObjectName(QStringLiteral("send"));
    m_send->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelSend"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("sendProgress"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("sendStatus"));
    m_status->setWordWrap(true);
    m_results = new QTreeWidget(this);
    m_results->setObjectName(QStringLiteral("sendResults"));
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true);
    m_results->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Result")});
    m_results->header()->resizeSection(kFile, 240);

    auto* to = new QFormLayout;
    to->addRow(QStringLiteral("&To:"), m_serverList);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_progress, 1);
    buttons->addWidget(m_send);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(what);
    layout->addLayout(to);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    layout->addWidget(m_results, 1);
    connect(m_send, &QPushButton::clicked, this, &CSendWindow::Send);
    connect(m_cancel, &QPushButton::clicked, this, &CSendWindow::Cancel);
    FillServers();
    UpdateButtons();
}

CSendWindow::~CSendWindow() = default;

void CSendWindow::FillServers() {
    m_servers = LoadDicomServers();
    const QString chosen = m_serverList->currentText();
    m_serverList->clear();
    for (const CDicomServer& server : m_servers) {
        m_serverList->addItem(QStringLiteral("%1 (%2@%3:%4)").arg(server.Label(), server.aeTitle, server.host).arg(server.port));
    }
    const int again = m_serverList->findText(chosen);
    m_serverList->setCurrentIndex(again >= 0 ? again : std::clamp(LoadChosenServer(), 0, m_serverList->count() - 1));
}

void CSendWindow::Offer(const QList<CSendChoice>& choices) {
    if (Sending()) return;
    FillServers();
    for (QAbstractButton* button : m_choiceGroup->buttons()) {
        m_choiceGroup->removeButton(button);
        delete button;
    }
    m_choices = choices;
    for (int i = 0; i < m_choices.size(); ++i) {
        auto* button = new QRadioButton(m_choices[i].label, this);
        button->setObjectName(QStringLiteral("sendChoice%1").arg(i));
        m_choiceGroup->addButton(button, i);
        m_choiceBox->addWidget(button);
        button->setChecked(i == 0);
    }
    m_status->setText(m_servers.isEmpty()
                          ? QStringLiteral("No DICOM server is set up: File > Query/Retrieve sets them up.")
                          : QString());
    UpdateButtons();
}

void CSendWindow::Send() {
    const int choice = m_choiceGroup->checkedId();
    const int serverIndex = m_serverList->currentIndex();
    if (Sending() || choice < 0 || choice >= m_choices.size()) return;
    if (serverIndex < 0 || serverIndex >= m_servers.size()) {
        m_dialogs.ShowMessage(this, QMessageBox::Warning, kCaption,
                              QStringLiteral("No DICOM server is set up: File > Query/Retrieve sets them up."));
        return;
    }
    const CDicomServer& server = m_servers[serverIndex];
    if (const QString problem = server.Problem(); !problem.isEmpty()) {
        m_dialogs.ShowMessage(this, QMessageBox::Warning, kCaption, problem);
        return;
    }
    m_sending = m_choices[choice].files;
    m_done = 0;
    m_results->clear();
    for (const QString& file : m_sending) {
        auto* line = new QTreeWidgetItem(m_results, {QFileInfo(file).fileName(), QStringLiteral("waiting")});
        line->setToolTip(kFile, file);
    }
    m_progress->setRange(0, std::max(1, static_cast<int>(m_sending.size())));
    m_progress->setValue(0);
    m_status->setText(QStringLiteral("Sending %1 to %2...").arg(m_choices[choice].label, server.Label()));
    m_job = new CNetJob(this);
    connect(m_job, &CNetJob::fileSent, this, &CSendWindow::OnFileSent);
    connect(m_job, &CNetJob::finished, this, &CSendWindow::OnFinished);
    m_job->Send(server, m_sending);
    UpdateButtons();
}

void CSendWindow::Cancel() {
    if (m_job != nullptr) m_job->Cancel();
}

void CSendWindow::OnFileSent(int index, bool stored, const QString& problem) {
    if (index < 0 || index >= m_results->topLevelItemCount()) return;
    QTreeWidgetItem* line = m_results->topLevelItem(index);
    line->setText(kResult, stored ? (problem.isEmpty() ? QStringLiteral("sent")
                                                       : QStringLiteral("sent, with a warning: ") + problem)
                                  : (problem.isEmpty() ? QStringLiteral("refused") : problem));
    line->setToolTip(kResult, line->text(kResult));
    m_progress->setValue(++m_done);
}

void CSendWindow::OnFinished(const CNetOutcome& outcome) {
    const int notSent = static_cast<int>(m_sending.size()) - m_done;
    for (int i = 0; i < m_results->topLevelItemCount(); ++i) {
        QTreeWidgetItem* line = m_results->topLevelItem(i);
        if (line->text(kResult) == QLatin1String("waiting")) line->setText(kResult, QStringLiteral("not sent"));
    }
    QString text = QStringLiteral("%1 sent, %2 refused, %3 not sent.")
                       .arg(outcome.Count("stored"))
                       .arg(outcome.Count("refused"))
                       .arg(std::max(notSent, outcome.Count("not_sent")));
    if (outcome.cancelled) {
        text = QStringLiteral("Cancelled: ") + text;
    } else if (!outcome.failure.isEmpty()) {
        text += QLatin1Char(' ') + outcome.failure;
    }
    m_status->setText(text);
    m_job->deleteLater();
    m_job = nullptr;
    UpdateButtons();
    emit sendFinished();
}

void CSendWindow::UpdateButtons() {
    m_send->setEnabled(!Sending() && !m_choices.isEmpty());
    m_cancel->setEnabled(Sending());
    for (QAbstractButton* button : m_choiceGroup->buttons())
        button->setEnabled(!Sending());
    m_serverList->setEnabled(!Sending());
}
