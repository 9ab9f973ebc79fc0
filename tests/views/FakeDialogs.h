// The dialogs of the viewer answered by the program that runs it (a test, a
// benchmark, the screenshot tour): no dialog ever waits for a person.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "views/UserDialogs.h"

// Answers every dialog at once with what the test set, and remembers what was asked.
class FakeDialogs : public IUserDialogs {
public:
    struct Message {
        QMessageBox::Icon icon;
        QString caption;
        QString text;
    };

    QStringList GetOpenFileNames(QWidget*, const QString& filters) override {
        lastFilters = filters;
        ++openAsked;
        return openAnswer;
    }
    // The filter chosen is saveFilterAnswer, or the first one when that is empty.
    QString GetSaveFileName(QWidget*, const QString& filters, QString& chosenFilter) override {
        lastFilters = filters;
        ++saveAsked;
        chosenFilter = saveFilterAnswer.isEmpty() ? filters.section(QStringLiteral(";;"), 0, 0) : saveFilterAnswer;
        return saveAnswer;
    }
    void ShowMessage(QWidget*, QMessageBox::Icon icon, const QString& caption, const QString& text) override {
        messages.push_back({icon, caption, text});
    }
    bool AskYesNo(QWidget*, const QString&, const QString& text) override {
        questions.push_back(text);
        return yesNoAnswer;
    }
    // Records the dialog (and, for the header dialog, what it lists) and cancels it;
    // the Set Window dialog is answered with windowAnswer when there is one.
    int RunModal(QDialog& dialog) override;
    // Prints to a PDF file at `printAnswer`; an empty answer cancels.
    bool SetUpPrinter(QPrinter& printer, QWidget* parent) override;
    QString GetExistingDirectory(QWidget*) override {
        ++folderAsked;
        return folderAnswer;
    }

    // When set, answers the dialogs of the program's own (RunModal) in its place: a
    // test fills in the dialog's fields and gives its result.
    std::function<int(QDialog&)> answerModal;

    QStringList openAnswer;
    QString saveAnswer;
    QString saveFilterAnswer;
    QString printAnswer;
    QString folderAnswer;
    QString lastFilters;
    int openAsked = 0;
    int saveAsked = 0;
    int folderAsked = 0;
    std::vector<Message> messages;
    std::vector<QString> questions;
    bool yesNoAnswer = false;
    std::vector<QString> modalTitles;
    // The last header dialog run.
    int headerRows = -1;
    QString headerNotice;
    bool headerModal = false;
    // The Set Window dialog: the answer (width, centre), and what it offered.
    std::optional<std::pair<double, double>> windowAnswer;
    std::pair<double, double> windowOffered{};
};
