#include "tests/views/FakeDialogs.h"

#include <QDialog>
#include <QPrinter>

#include "views/HeaderDetailsDialog.h"
#include "views/HeaderListModel.h"
#include "views/WindowDialog.h"

bool FakeDialogs::SetUpPrinter(QPrinter& printer, QWidget*) {
    if (printAnswer.isEmpty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printAnswer);
    return true;
}

int FakeDialogs::RunModal(QDialog& dialog) {
    modalTitles.push_back(dialog.windowTitle());
    if (answerModal) return answerModal(dialog);
    if (auto* header = qobject_cast<HeaderDetailsDialog*>(&dialog)) {
        headerRows = header->model()->rowCount();
        headerNotice = header->notice();
        headerModal = header->isModal();
    }
    if (auto* window = qobject_cast<CWindowDialog*>(&dialog)) {
        windowOffered = {window->Width(), window->Centre()};
        if (windowAnswer) {
            window->SetWindow(windowAnswer->first, windowAnswer->second);
            return QDialog::Accepted;
        }
    }
    return QDialog::Rejected;
}
