// The DICOM servers the user has set up, as the viewer keeps them in its settings
// (group "DICOM Servers"): each with its AE title, host and port, our own AE title,
// how files are retrieved (C-GET, or C-MOVE to our receiver on a port of ours) and
// one timeout for each step.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct CDicomServer {
    QString name;  // what the user calls it; the AE title when left empty
    QString aeTitle;
    QString host;
    int port = 104;
    QString callingAe = QStringLiteral("DORVANELLE");
    bool move = false;  // retrieve by C-MOVE to our receiver instead of C-GET
    int movePort = 11113;
    int timeoutSeconds = 30;

    // The name shown in lists.
    QString Label() const;
    // Why the server cannot be used as it stands, in words; empty when it can.
    QString Problem() const;
    // --server, --calling-ae and --timeout for the network helper.
    QStringList HelperArguments() const;
};

bool operator==(const CDicomServer& a, const CDicomServer& b);

// The servers in the settings, in the user's order; broken entries are kept as they
// are and shown with their problem when used.
QList<CDicomServer> LoadDicomServers();
void SaveDicomServers(const QList<CDicomServer>& servers);
// The place in that list of the server last chosen.
int LoadChosenServer();
void SaveChosenServer(int index);
