#include "app/AboutDlg.h"

#include <cmath>

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVBoxLayout>

#include "document/ProgramNames.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Dorvanelle"));
    setModal(true);
    auto* picture = new QLabel(this);
    picture->setPixmap(QPixmap::fromImage(Picture()));
    picture->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picture);
    // A little larger than the picture, which sits centred with a margin around it.
    setFixedSize(422, 229);
}

namespace {

// A cross-section of a round phantom: a soft disc with inserts of other densities,
// like the slice that the sample study holds.
void DrawPhantom(QPainter& painter, QPointF centre, qreal radius) {
    QRadialGradient body(centre, radius);
    body.setColorAt(0.0, QColor(200, 200, 200));
    body.setColorAt(0.85, QColor(150, 150, 150));
    body.setColorAt(1.0, QColor(60, 60, 60));
    painter.setPen(QPen(QColor(230, 230, 230), 3));
    painter.setBrush(body);
    painter.drawEllipse(centre, radius, radius);
    const QColor inserts[] = {QColor(250, 250, 250), QColor(40, 40, 40), QColor(110, 110, 110),
                              QColor(225, 225, 225), QColor(80, 80, 80), QColor(175, 175, 175)};
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        const qreal angle = i * M_PI / 3.0;
        const QPointF at = centre + QPointF(std::cos(angle), std::sin(angle)) * radius * 0.55;
        painter.setBrush(inserts[i]);
        painter.drawEllipse(at, radius * 0.14, radius * 0.14);
    }
}

// A small histogram in the panel's colours under the title.
void DrawBars(QPainter& painter, QRect area) {
    painter.fillRect(area, QColor(90, 90, 90));
    for (int x = 0; x < area.width(); ++x) {
        const double t = static_cast<double>(x) / area.width();
        const double h =
            0.15 + 0.7 * std::exp(-std::pow((t - 0.3) / 0.08, 2)) + 0.45 * std::exp(-std::pow((t - 0.72) / 0.12, 2));
        const int bar = static_cast<int>(h * (area.height() - 4));
        painter.fillRect(area.left() + x, area.bottom() - bar, 1, bar, QColor(200, 200, 0));
    }
}

}  // namespace

QImage CAboutDlg::Picture() {
    QImage image(402, 185, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient ground(0, 0, 0, 185);
    ground.setColorAt(0.0, QColor(20, 34, 58));
    ground.setColorAt(1.0, QColor(6, 10, 20));
    painter.fillRect(image.rect(), ground);

    DrawPhantom(painter, QPointF(92, 92), 70);

    painter.setPen(QColor(235, 235, 235));
    QFont title(QStringLiteral("Sans Serif"), 26, QFont::Bold);
    painter.setFont(title);
    painter.drawText(QRect(180, 22, 215, 44), Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(kProgramName));
    QFont line(QStringLiteral("Sans Serif"), 8);
    painter.setFont(line);
    painter.setPen(QColor(180, 195, 215));
    const char* const lines[] = {"Viewer and converter for DICOM", "images, bitmaps and PCX pictures"};
    for (int i = 0; i < 2; ++i) {
        painter.drawText(QRect(182, 68 + 16 * i, 215, 16), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromLatin1(lines[i]));
    }
    DrawBars(painter, QRect(182, 110, 200, 50));
    painter.setPen(QColor(120, 135, 160));
    painter.drawText(QRect(182, 164, 215, 16), Qt::AlignLeft, QString::fromLatin1(kOrganisationName));
    painter.drawText(QRect(182, 164, 200, 16), Qt::AlignRight, QStringLiteral("Version " DORVANELLE_VERSION));
    return image;
}
