#include "tests/views/ViewerTestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QMouseEvent>
#include <QWidget>

#include "image/BmpFile.h"
#include "tools/generator/PhantomStudy.h"

int FakeDialogs::RunModal(QDialog& dialog) {
    modalTitles.push_back(dialog.windowTitle());
    return QDialog::Rejected;
}

void SendMouse(QWidget* widget, int type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers modifiers) {
    QMouseEvent event(static_cast<QEvent::Type>(type), QPointF(pos), widget->mapToGlobal(QPointF(pos)), button,
                      held, modifiers);
    QApplication::sendEvent(widget, &event);
}

void Drag(QWidget* widget, QPoint from, QPoint to) {
    SendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

PackedDibPtr GreyPicture(int width, int height, int (*f)(int, int)) {
    PackedDibPtr dib = CreateGreyDib(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    const std::uint64_t stride = DibRowStride(dib.get());
    std::uint8_t* bits = DibBits(dib.get());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bits + static_cast<std::uint64_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) row[x] = static_cast<std::uint8_t>(f(x, y));
    }
    return dib;
}

bool WriteGreyBmp(const std::string& path, int width, int height, int (*f)(int, int)) {
    PackedDibPtr dib = GreyPicture(width, height, f);
    return WriteBmpFile(dib.get(), path).written;
}

bool WriteStudy(const std::string& path, int rows, int columns, int frames) {
    PhantomOptions options;
    options.rows = static_cast<std::uint16_t>(rows);
    options.columns = static_cast<std::uint16_t>(columns);
    options.frames = static_cast<std::uint32_t>(frames);
    return WriteCtPhantom(path, options).empty();
}

QRgb PixelAt(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }
