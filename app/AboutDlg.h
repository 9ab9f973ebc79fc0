// The about box: "About Dorvanelle", a picture of the program's own drawn in code,
// no buttons; Esc or the close box ends it.
#pragma once

#include <QDialog>
#include <QImage>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // The 402 x 185 picture shown in the box.
    static QImage Picture();
};
