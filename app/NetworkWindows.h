// The viewer's windows onto DICOM servers: File > Query/Retrieve and File > Send To,
// made the first time they are asked for, so that a viewer that never talks to a
// server pays nothing for them. Retrieved files are listed in the study browser as
// they arrive, and the first is opened when the user asked to see it.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>

#include "views/CommandMap.h"

class CDorvanelleApp;
class CQueryRetrieveWindow;
class CSendWindow;
class IUserDialogs;
struct CRetrieveItem;
struct CSendChoice;

class CNetworkWindows : public QObject {
    Q_OBJECT
public:
    CNetworkWindows(CDorvanelleApp& app, IUserDialogs& dialogs);
    ~CNetworkWindows() override;

    // Registers File > Query/Retrieve and File > Send To.
    void AddCommands(CommandMap& commands);

    void OnQueryRetrieve();
    void OnSendTo();

    // Null until first shown.
    CQueryRetrieveWindow* QueryRetrieveWindow() const;
    CSendWindow* SendWindow() const;

private:
    void OnFileRetrieved(const CRetrieveItem& item, const QString& path);
    // What Send To offers for the active document.
    QList<CSendChoice> SendChoices() const;

    CDorvanelleApp& m_app;
    IUserDialogs& m_dialogs;
    QPointer<CQueryRetrieveWindow> m_queryRetrieve;
    QPointer<CSendWindow> m_send;
    QSet<int> m_opened;  // retrieves whose first series has been shown
};
