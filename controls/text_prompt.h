#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace tessaro::controls {

// An alert that asks for one line of text (a name, a password), through the same kind of
// seam as ModalSeam: a test answers it before it is asked.
class TextPrompt {
public:
    struct Request {
        QString title;
        QString message;
        QString informativeText;
        QString defaultTitle;    // takes the text
        QString alternateTitle;  // declines
        QString text;            // what the field holds at first
        QString placeholder;
        bool secret = false;     // typed characters are not shown
    };

    // The next prompt is answered with this text; absent declines it.
    static void nextAnswer(std::optional<QString> text);
    static void reset();
    static const Request& lastRequest();
    static int promptCount();

    // A sheet on `parent`'s window; `done` gets the text, or nothing when declined.
    static void ask(QWidget* parent, const Request& request, std::function<void(std::optional<QString>)> done);
};

}  // namespace tessaro::controls
