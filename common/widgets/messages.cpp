#include "common/widgets/messages.h"

#include "common/dbmessages.h"
#include "common/widgets/guiapp.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpacerItem>
#include <QtMath>

namespace lt::ui
{

namespace
{

MessageHandler& messageHandler()
{
    static MessageHandler handler;
    return handler;
}

InputHandler& inputHandler()
{
    static InputHandler handler;
    return handler;
}

QMessageBox::Icon boxIcon(Icon icon)
{
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton boxButton(Answer answer)
{
    switch (answer) {
    case Answer::Ok:
        return QMessageBox::Ok;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButtons boxButtons(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok:
        return QMessageBox::Ok;
    case Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// What a box closed without a button press (Escape, close box) answers.
Answer dismissAnswer(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
        break;
    }
    return Answer::Cancel;
}

Answer answerOf(int clicked, Buttons buttons)
{
    switch (clicked) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return dismissAnswer(buttons);
    }
}

// The programs speak Chinese, whatever the system's language.
void captionButtons(QMessageBox& box)
{
    const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
        {QMessageBox::Ok, "确定"},
        {QMessageBox::Cancel, "取消"},
        {QMessageBox::Yes, "是(&Y)"},
        {QMessageBox::No, "否(&N)"},
    };
    for (const auto& [which, caption] : captions) {
        if (QAbstractButton* button = box.button(which))
            button->setText(QString::fromUtf8(caption));
    }
}

// A box as wide as its caption needs: QMessageBox sizes itself to its text and leaves only a
// little room for the caption, so the window frame cuts a short message's caption to "L…". A
// spacer in the box's grid makes the layout that wide; it goes in last, because setting the
// icon or the detail rebuilds the grid.
void keepCaptionWhole(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    const int width = captionWidth(box.windowTitle(), box.font());
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

Answer showBox(QWidget* parent, const MessageRequest& request)
{
    QMessageBox box(parent);
    box.setWindowTitle(request.title);
    // The reason in the text; the driver's words only behind "显示详细信息".
    const db::MessageParts parts = db::splitDriverWords(request.text);
    box.setText(parts.text);
    box.setIcon(boxIcon(request.icon));
    box.setStandardButtons(boxButtons(request.buttons));
    if (!parts.detail.isEmpty())
        box.setDetailedText(parts.detail);
    captionButtons(box);
    const QMessageBox::StandardButton preferred = boxButton(request.defaultAnswer);
    if (box.standardButtons().testFlag(preferred))
        box.setDefaultButton(preferred);
    keepCaptionWhole(box);
    return answerOf(box.exec(), request.buttons);
}

} // namespace

int captionWidth(const QString& title, const QFont& font)
{
    // Window managers draw captions in a bold face, often larger than the dialog's font.
    QFont captionFont = font;
    captionFont.setBold(true);
    const qreal text = QFontMetricsF(captionFont).horizontalAdvance(title) * 1.3;
    // The frame's icon and its buttons (minimise, maximise, close) share the caption's bar.
    const int frame = 5 * QFontMetrics(captionFont).height() + 40;
    return qCeil(text) + frame;
}

Answer message(QWidget* parent, const QString& text, Icon icon, Buttons buttons,
               Answer defaultAnswer)
{
    MessageRequest request;
    request.title = programTitle();
    request.text = text;
    request.icon = icon;
    request.buttons = buttons;
    request.defaultAnswer = defaultAnswer;
    if (messageHandler())
        return messageHandler()(request);
    return showBox(parent, request);
}

QString inputBox(QWidget* parent, const QString& prompt, const QString& initial, bool password)
{
    InputRequest request;
    request.title = programTitle();
    request.prompt = prompt;
    request.initial = initial;
    request.password = password;
    if (inputHandler())
        return inputHandler()(request);

    QInputDialog dialog(parent);
    dialog.setWindowTitle(request.title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    dialog.setTextEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    dialog.setOkButtonText(QStringLiteral("确定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    dialog.setMinimumWidth(captionWidth(request.title, dialog.font()));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

void setMessageHandler(MessageHandler handler)
{
    messageHandler() = std::move(handler);
}
void setInputHandler(InputHandler handler)
{
    inputHandler() = std::move(handler);
}

} // namespace lt::ui
