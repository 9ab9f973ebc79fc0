#include "views/ServerDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLineEdit* Field(QWidget* parent, const char* name, const QString& text) {
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(QLatin1String(name));
    return field;
}

QSpinBox* Number(QWidget* parent, const char* name, int low, int high, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(low, high);
    box->setValue(value);
    return box;
}

}  // namespace

CServerDialog::CServerDialog(const CDicomServer& server, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("DICOM Server"));
    m_name = Field(this, "serverName", server.name);
    m_name->setPlaceholderText(QStringLiteral("as you call it (the AE title if left empty)"));
    m_aeTitle = Field(this, "serverAeTitle", server.aeTitle);
    m_aeTitle->setMaxLength(16);
    m_host = Field(this, "serverHost", server.host);
    m_host->setPlaceholderText(QStringLiteral("pacs.example.org or 10.0.0.5"));
    m_port = Number(this, "serverPort", 1, 65535, server.port);
    m_callingAe = Field(this, "callingAeTitle", server.callingAe);
    m_callingAe->setMaxLength(16);
    m_method = new QComboBox(this);
    m_method->setObjectName(QStringLiteral("retrieveMethod"));
    m_method->addItems({QStringLiteral("C-GET (files come back on our own connection)"),
                        QStringLiteral("C-MOVE (the server sends them to our receiver)")});
    m_method->setCurrentIndex(server.move ? 1 : 0);
    m_movePort = Number(this, "receiverPort", 1, 65535, server.movePort);
    m_timeout = Number(this, "timeoutSeconds", 1, 86400, server.timeoutSeconds);
    m_timeout->setSuffix(QStringLiteral(" s"));
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("serverProblem"));
    m_problem->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name:"), m_name);
    form->addRow(QStringLiteral("Server &AE title:"), m_aeTitle);
    form->addRow(QStringLiteral("&Host:"), m_host);
    form->addRow(QStringLiteral("&Port:"), m_port);
    form->addRow(QStringLiteral("&Our AE title:"), m_callingAe);
    form->addRow(QStringLiteral("&Retrieve by:"), m_method);
    form->addRow(QStringLiteral("Our &receiver's port:"), m_movePort);
    form->addRow(QStringLiteral("&Timeout per step:"), m_timeout);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CServerDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CServerDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    connect(m_method, &QComboBox::currentIndexChanged, this, &CServerDialog::ShowMethod);
    ShowMethod();
}

void CServerDialog::ShowMethod() { m_movePort->setEnabled(m_method->currentIndex() == 1); }

CDicomServer CServerDialog::Server() const {
    CDicomServer server;
    server.name = m_name->text().trimmed();
    server.aeTitle = m_aeTitle->text();
    server.host = m_host->text().trimmed();
    server.port = m_port->value();
    server.callingAe = m_callingAe->text();
    server.move = m_method->currentIndex() == 1;
    server.movePort = m_movePort->value();
    server.timeoutSeconds = m_timeout->value();
    return server;
}

void CServerDialog::accept() {
    const QString problem = Server().Problem();
    if (!problem.isEmpty()) {
        m_problem->setText(problem);
        return;
    }
    QDialog::accept();
}
