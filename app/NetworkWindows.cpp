#include "app/NetworkWindows.h"

#include <QFileInfo>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "views/CommandIds.h"
#include "views/DocumentController.h"
#include "views/QueryRetrieveWindow.h"
#include "views/RetrieveQueue.h"
#include "views/RetrievedStudyFeed.h"
#include "views/SendWindow.h"
#include "views/StudyBrowser.h"

CNetworkWindows::CNetworkWindows(CDorvanelleApp& app, IUserDialogs& dialogs) : m_app(app), m_dialogs(dialogs) {}

CNetworkWindows::~CNetworkWindows() = default;

CQueryRetrieveWindow* CNetworkWindows::QueryRetrieveWindow() const { return m_queryRetrieve; }

CSendWindow* CNetworkWindows::SendWindow() const { return m_send; }

void CNetworkWindows::AddCommands(CommandMap& commands) {
    commands.On(ID_FILE_QUERY_RETRIEVE, [this] { OnQueryRetrieve(); });
    commands.On(
        ID_FILE_SEND_TO, [this] { OnSendTo(); },
        [this](CommandUi& ui) { ui.Enable(m_app.MainFrame() != nullptr && m_app.MainFrame()->ActiveChild() != nullptr); });
}

void CNetworkWindows::OnQueryRetrieve() {
    if (m_queryRetrieve == nullptr) {
        m_queryRetrieve = new CQueryRetrieveWindow(m_dialogs, CRetrieveQueue::DefaultFolder(), m_app.MainFrame());
        connect(&m_queryRetrieve->Queue(), &CRetrieveQueue::fileStored, this, &CNetworkWindows::OnFileRetrieved);
        // What arrives is listed in the study browser, study by study, as it comes.
        if (CStudyBrowser* browser = m_app.MainFrame()->StudyBrowser())
            new CRetrievedStudyFeed(*browser, m_queryRetrieve->Queue(), m_queryRetrieve);
    }
    m_queryRetrieve->show();
    m_queryRetrieve->raise();
    m_queryRetrieve->activateWindow();
}

void CNetworkWindows::OnSendTo() {
    const QList<CSendChoice> choices = SendChoices();
    if (choices.isEmpty()) return;
    if (m_send == nullptr) m_send = new CSendWindow(m_dialogs, m_app.MainFrame());
    m_send->Offer(choices);
    m_send->show();
    m_send->raise();
    m_send->activateWindow();
}

QList<CSendChoice> CNetworkWindows::SendChoices() const {
    CChildFrame* child = m_app.MainFrame() != nullptr ? m_app.MainFrame()->ActiveChild() : nullptr;
    if (child == nullptr) return {};
    const QString path = child->Controller().Path();
    if (path.isEmpty()) return {};
    return {CSendChoice{QStringLiteral("this file, %1").arg(QFileInfo(path).fileName()), {path}}};
}

void CNetworkWindows::OnFileRetrieved(const CRetrieveItem& item, const QString& path) {
    if (!item.open || m_opened.contains(item.id)) return;
    m_opened.insert(item.id);
    m_app.OpenDocumentFile(path);
}
