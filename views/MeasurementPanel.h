// The measurement panel below the control panel: the active document's measurements
// on the frame shown (the selection's statistics first, then each ruler and ellipse
// with what it found), the spacing they were measured with, and buttons that remove
// the chosen one or all of them.
#pragma once

#include <QPointer>
#include <QWidget>

class CDocumentController;
class QLabel;
class QPushButton;
class QTreeWidget;

class CMeasurementPanel : public QWidget {
    Q_OBJECT
public:
    explicit CMeasurementPanel(QWidget* parent = nullptr);

    // The document the panel lists; null: none. Called on every activation of a view.
    void SetController(CDocumentController* controller);

    // Rows as shown: the first column (what it is) and the second (what it found).
    int RowCount() const;
    QString RowName(int row) const;
    QString RowResult(int row) const;
    QString SpacingLine() const;

    QTreeWidget* m_pList = nullptr;
    QPushButton* m_pDelete = nullptr;
    QPushButton* m_pDeleteAll = nullptr;

private:
    void Refresh();
    void DeleteChosen();

    QPointer<CDocumentController> m_controller;
    QLabel* m_pSpacing = nullptr;
};
