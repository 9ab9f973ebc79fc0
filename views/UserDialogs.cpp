#include "views/UserDialogs.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QPrintDialog>

// The dialogs get no folder of their own: the caller has made the image folder the
// current directory, and they start there.
QStringList CQtUserDialogs::GetOpenFileNames(QWidget* parent, const QString& filters) {
    return QFileDialog::getOpenFileNames(parent, QString(), QDir::currentPath(), filters);
}

QString CQtUserDialogs::GetSaveFileName(QWidget* parent, const QString& filters, QString& chosenFilter) {
    return QFileDialog::getSaveFileName(parent, QString(), QDir::currentPath(), filters, &chosenFilter);
}

void CQtUserDialogs::ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool CQtUserDialogs::AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int CQtUserDialogs::RunModal(QDialog& dialog) { return dialog.exec(); }

bool CQtUserDialogs::SetUpPrinter(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

QString CQtUserDialogs::GetExistingDirectory(QWidget* parent) {
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Open Folder"), QDir::currentPath());
}
