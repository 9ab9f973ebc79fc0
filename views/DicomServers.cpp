#include "views/DicomServers.h"

#include <QSettings>

#include "document/ProgramNames.h"

namespace {

const QString kGroup = QStringLiteral("DICOM Servers");

// The program's settings store, as the application opens it.
QSettings ProgramSettings() {
    return QSettings(QString::fromLatin1(kOrganisationName), QString::fromLatin1(kProgramName));
}

// An AE title: 1 to 16 printable ASCII characters, no backslash, not only spaces.
bool IsAeTitle(const QString& title) {
    if (title.isEmpty() || title.size() > 16 || title.trimmed().isEmpty()) return false;
    for (QChar c : title) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E || c == QLatin1Char('\\')) return false;
    }
    return true;
}

}  // namespace

QString CDicomServer::Label() const { return name.trimmed().isEmpty() ? aeTitle : name; }

QString CDicomServer::Problem() const {
    if (!IsAeTitle(aeTitle)) return QStringLiteral("The server's AE title must be 1 to 16 characters, without \\.");
    if (host.trimmed().isEmpty()) return QStringLiteral("The server's host name or address is missing.");
    if (port < 1 || port > 65535) return QStringLiteral("The server's port must be from 1 to 65535.");
    if (!IsAeTitle(callingAe)) return QStringLiteral("Our AE title must be 1 to 16 characters, without \\.");
    if (move && (movePort < 1 || movePort > 65535)) {
        return QStringLiteral("The port of our receiver must be from 1 to 65535.");
    }
    if (timeoutSeconds < 1 || timeoutSeconds > 86400) {
        return QStringLiteral("The timeout must be from 1 to 86400 seconds.");
    }
    return {};
}

QStringList CDicomServer::HelperArguments() const {
    QString address = host.trimmed();
    // A numeric IPv6 address is bracketed so that its colons are not read as the port's.
    if (address.contains(QLatin1Char(':')) && !address.startsWith(QLatin1Char('['))) {
        address = QLatin1Char('[') + address + QLatin1Char(']');
    }
    return {QStringLiteral("--server"), QStringLiteral("%1@%2:%3").arg(aeTitle, address).arg(port),
            QStringLiteral("--calling-ae"), callingAe, QStringLiteral("--timeout"), QString::number(timeoutSeconds)};
}

bool operator==(const CDicomServer& a, const CDicomServer& b) {
    return a.name == b.name && a.aeTitle == b.aeTitle && a.host == b.host && a.port == b.port &&
           a.callingAe == b.callingAe && a.move == b.move && a.movePort == b.movePort &&
           a.timeoutSeconds == b.timeoutSeconds;
}

QList<CDicomServer> LoadDicomServers() {
    QSettings settings = ProgramSettings();
    QList<CDicomServer> servers;
    const int count = settings.beginReadArray(kGroup);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        CDicomServer server;
        server.name = settings.value(QStringLiteral("Name")).toString();
        server.aeTitle = settings.value(QStringLiteral("AETitle")).toString();
        server.host = settings.value(QStringLiteral("Host")).toString();
        server.port = settings.value(QStringLiteral("Port"), server.port).toInt();
        server.callingAe = settings.value(QStringLiteral("CallingAETitle"), server.callingAe).toString();
        server.move = settings.value(QStringLiteral("Retrieve")).toString() == QStringLiteral("C-MOVE");
        server.movePort = settings.value(QStringLiteral("ReceiverPort"), server.movePort).toInt();
        server.timeoutSeconds = settings.value(QStringLiteral("TimeoutSeconds"), server.timeoutSeconds).toInt();
        servers.push_back(server);
    }
    settings.endArray();
    return servers;
}

void SaveDicomServers(const QList<CDicomServer>& servers) {
    QSettings settings = ProgramSettings();
    settings.remove(kGroup);
    settings.beginWriteArray(kGroup, static_cast<int>(servers.size()));
    for (int i = 0; i < servers.size(); ++i) {
        const CDicomServer& server = servers[i];
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("Name"), server.name);
        settings.setValue(QStringLiteral("AETitle"), server.aeTitle);
        settings.setValue(QStringLiteral("Host"), server.host);
        settings.setValue(QStringLiteral("Port"), server.port);
        settings.setValue(QStringLiteral("CallingAETitle"), server.callingAe);
        settings.setValue(QStringLiteral("Retrieve"), server.move ? QStringLiteral("C-MOVE") : QStringLiteral("C-GET"));
        settings.setValue(QStringLiteral("ReceiverPort"), server.movePort);
        settings.setValue(QStringLiteral("TimeoutSeconds"), server.timeoutSeconds);
    }
    settings.endArray();
}

int LoadChosenServer() { return ProgramSettings().value(QStringLiteral("Query/Server"), 0).toInt(); }

void SaveChosenServer(int index) { ProgramSettings().setValue(QStringLiteral("Query/Server"), index); }
