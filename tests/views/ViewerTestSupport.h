// Shared pieces of the viewer tests: dialogs answered by the test, mouse events with
// explicit button state, and small pictures and studies written to a temp folder.
#pragma once

#include <string>
#include <vector>

#include <QImage>
#include <QPoint>
#include <QString>
#include <QStringList>

#include "image/PackedDib.h"
#include "views/UserDialogs.h"

class QWidget;

class FakeDialogs : public IUserDialogs {
public:
    struct Message {
        QMessageBox::Icon icon;
        QString caption;
        QString text;
    };

    QStringList GetOpenFileNames(QWidget*, const QString& filters) override {
        lastFilters = filters;
        return openAnswer;
    }
    QString GetSaveFileName(QWidget*, const QString& filters) override {
        lastFilters = filters;
        ++saveDialogs;
        return saveAnswer;
    }
    void ShowMessage(QWidget*, QMessageBox::Icon icon, const QString& caption, const QString& text) override {
        messages.push_back({icon, caption, text});
    }
    int RunModal(QDialog& dialog) override;

    QStringList openAnswer;
    QString saveAnswer;
    QString lastFilters;
    int saveDialogs = 0;
    std::vector<Message> messages;
    std::vector<QString> modalTitles;
};

// Sends a mouse event with the given buttons held, as a real pointer would.
void SendMouse(QWidget* widget, int type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Press, optional moves, release: a drag with the left button.
void Drag(QWidget* widget, QPoint from, QPoint to);

// An 8-bit grey block whose pixel (x, y), counted from the top, is f(x, y).
PackedDibPtr GreyPicture(int width, int height, int (*f)(int, int));
// The same written as a .bmp file; true on success.
bool WriteGreyBmp(const std::string& path, int width, int height, int (*f)(int, int));
// A 16-bit CT phantom study of `frames` frames; true on success.
bool WriteStudy(const std::string& path, int rows, int columns, int frames);

QRgb PixelAt(const QImage& image, int x, int y);
