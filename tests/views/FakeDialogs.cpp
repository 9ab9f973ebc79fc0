#include "tests/views/FakeDialogs.h"

#include <QDialog>
#include <QEventLoop>
#include <QPrinter>
#include <QTimer>

#include "views/HeaderDetailsDialog.h"
#include "views/HeaderListModel.h"
#include "views/WindowDialog.h"

namespace {

// How long a header dialog's walk is waited for, in milliseconds.
constexpr int kHeaderWalkMost = 20000;

}  // namespace

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
        // The listing is walked on a thread of its own: what it lists is known when it ends.
        if (!header->listingFinished()) {
            QEventLoop wait;
            QObject::connect(header, &HeaderDetailsDialog::listed, &wait, &QEventLoop::quit);
            QTimer::singleShot(kHeaderWalkMost, &wait, &QEventLoop::quit);
            wait.exec();
        }
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
