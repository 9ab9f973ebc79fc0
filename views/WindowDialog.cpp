#include "views/WindowDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

CWindowDialog::CWindowDialog(int width, int centre, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Set Window"));
    auto* form = new QFormLayout(this);
    m_pCentre = new QSpinBox(this);
    m_pCentre->setObjectName(QStringLiteral("centre"));
    m_pCentre->setRange(-32768, 32767);
    m_pWidth = new QSpinBox(this);
    m_pWidth->setObjectName(QStringLiteral("width"));
    // A width of 0 would make the reader fall back to its default window.
    m_pWidth->setRange(1, 32767);
    form->addRow(QStringLiteral("&Centre:"), m_pCentre);
    form->addRow(QStringLiteral("&Width:"), m_pWidth);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    SetWindow(width, centre);
    m_pCentre->selectAll();
}

int CWindowDialog::Width() const { return m_pWidth->value(); }
int CWindowDialog::Centre() const { return m_pCentre->value(); }

void CWindowDialog::SetWindow(int width, int centre) {
    m_pWidth->setValue(width);
    m_pCentre->setValue(centre);
}
