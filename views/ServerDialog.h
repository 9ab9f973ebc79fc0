// The dialog that sets up one DICOM server: its name, AE title, host and port, our
// own AE title, C-GET or C-MOVE with the port of our receiver, and the timeout.
// OK is refused, with the reason shown, while the entries cannot make a server.
#pragma once

#include <QDialog>

#include "views/DicomServers.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

class CServerDialog : public QDialog {
    Q_OBJECT
public:
    explicit CServerDialog(const CDicomServer& server, QWidget* parent = nullptr);

    CDicomServer Server() const;
    void accept() override;

private:
    void ShowMethod();

    QLineEdit* m_name = nullptr;
    QLineEdit* m_aeTitle = nullptr;
    QLineEdit* m_host = nullptr;
    QSpinBox* m_port = nullptr;
    QLineEdit* m_callingAe = nullptr;
    QComboBox* m_method = nullptr;
    QSpinBox* m_movePort = nullptr;
    QSpinBox* m_timeout = nullptr;
    QLabel* m_problem = nullptr;
};
