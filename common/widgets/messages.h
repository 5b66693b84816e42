#pragma once
// Message boxes and input boxes of the programs. They carry the program's own title, always
// shown whole, and a failure's reason as their text: the database driver's words behind it go
// to the box's detail area (see db::splitDriverWords). Tests answer them through a handler
// instead of a person; the handler gets the text as the caller wrote it.

#include <QString>
#include <functional>

class QFont;
class QWidget;

namespace lt::ui
{

enum class Icon { None, Information, Exclamation, Question, Critical };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

struct MessageRequest {
    QString title;
    QString text;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    Answer defaultAnswer = Answer::Ok;
};

Answer message(QWidget* parent, const QString& text, Icon icon = Icon::None,
               Buttons buttons = Buttons::Ok, Answer defaultAnswer = Answer::Ok);

struct InputRequest {
    QString title;
    QString prompt;
    QString initial;
    bool password = false;
};
// The text typed; the empty text when cancelled.
QString inputBox(QWidget* parent, const QString& prompt, const QString& initial = {},
                 bool password = false);

// The width a message box keeps so that a window frame shows its whole caption.
int captionWidth(const QString& title, const QFont& font);

// Tests: the handlers answer instead of a dialog, until they are removed (empty function).
using MessageHandler = std::function<Answer(const MessageRequest&)>;
using InputHandler = std::function<QString(const InputRequest&)>;
void setMessageHandler(MessageHandler handler);
void setInputHandler(InputHandler handler);

} // namespace lt::ui
