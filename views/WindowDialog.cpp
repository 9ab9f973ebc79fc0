#include "views/WindowDialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>

namespace {

// Far beyond any modality value a file can give, yet exact in a double at 3 decimals.
constexpr double kLargest = 1e12;

}  // namespace

CWindowDialog::CWindowDialog(double width, double centre, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Set Window"));
    auto* form = new QFormLayout(this);
    m_pCentre = new QDoubleSpinBox(this);
    m_pCentre->setObjectName(QStringLiteral("centre"));
    m_pCentre->setDecimals(3);
    m_pCentre->setRange(-kLargest, kLargest);
    m_pWidth = new QDoubleSpinBox(this);
    m_pWidth->setObjectName(QStringLiteral("width"));
    m_pWidth->setDecimals(3);
    // A width of 0 would make the document fall back to its default window.
    m_pWidth->setRange(0.001, kLargest);
    form->addRow(QStringLiteral("&Centre:"), m_pCentre);
    form->addRow(QStringLiteral("&Width:"), m_pWidth);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    SetWindow(width, centre);
    m_pCentre->selectAll();
}

double CWindowDialog::Width() const { return m_pWidth->value(); }
double CWindowDialog::Centre() const { return m_pCentre->value(); }

void CWindowDialog::SetWindow(double width, double centre) {
    m_pWidth->setValue(width);
    m_pCentre->setValue(centre);
}
