// Everything that asks the user something or tells the user something in a modal
// window goes through this interface, so that tests answer it without a modal loop.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QDialog;
class QPrinter;
class QWidget;

class IUserDialogs {
public:
    virtual ~IUserDialogs() = default;

    // Paths chosen in a file-open dialog (several allowed); empty when cancelled.
    // `filters` are Qt name filters separated by ";;".
    virtual QStringList GetOpenFileNames(QWidget* parent, const QString& filters) = 0;
    // The path chosen in a file-save dialog, and the filter chosen in it; empty when
    // cancelled.
    virtual QString GetSaveFileName(QWidget* parent, const QString& filters, QString& chosenFilter) = 0;
    // A message box with one OK button.
    virtual void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) = 0;
    // A question with Yes and No buttons, No the default; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;
    // Runs a dialog of the program's own (the about box) modally.
    virtual int RunModal(QDialog& dialog) = 0;
    // The print dialog: sets up `printer`; false when cancelled.
    virtual bool SetUpPrinter(QPrinter& printer, QWidget* parent) = 0;
    // The folder chosen in a folder dialog; empty when cancelled.
    virtual QString GetExistingDirectory(QWidget* parent) = 0;
};

// The real dialogs, for the running program.
class CQtUserDialogs : public IUserDialogs {
public:
    QStringList GetOpenFileNames(QWidget* parent, const QString& filters) override;
    QString GetSaveFileName(QWidget* parent, const QString& filters, QString& chosenFilter) override;
    void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) override;
    int RunModal(QDialog& dialog) override;
    bool SetUpPrinter(QPrinter& printer, QWidget* parent) override;
    QString GetExistingDirectory(QWidget* parent) override;
};
