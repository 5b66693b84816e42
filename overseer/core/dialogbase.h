#pragma once
// What every modal dialog of the console shares: it is loaded on first use by the main window
// (fetched by its type, named once by its kName), leaves "确定" or "取消" behind, answers Escape
// and the close box like "取消", and unloads itself when it is confirmed or cancelled.
//
//     class DialogTJ : public DialogBase {
//     public:
//         static constexpr char kName[] = "DialogTJ";
//         ...
//     };
//     if (form.dialog<DialogTJ>().run()) ...

#include <QDialog>
#include <QString>

namespace lt::overseer
{

class ConsoleContext;

inline const QString kDlgConfirmed = QStringLiteral("确定");
inline const QString kDlgCancelled = QStringLiteral("取消");

class DialogBase : public QDialog
{
    Q_OBJECT
public:
    explicit DialogBase(ConsoleContext& context);

    // "取消" from the load until the dialog is confirmed.
    const QString& DlgResult() const { return dlgResult_; }
    bool confirmed() const { return dlgResult_ == kDlgConfirmed; }

    // Shows the dialog modally; true when it was confirmed. The dialog has unloaded itself by
    // then (it is deleted once control returns to the event loop), so its fields can still be
    // read right after.
    bool run();

    // Escape and the close box answer like "取消".
    void reject() override;

protected:
    // "确定": DlgResult, then unload.
    void confirm();
    // "取消": DlgResult, then unload.
    void cancel();
    ConsoleContext& context() const { return context_; }

private:
    ConsoleContext& context_;
    QString dlgResult_ = kDlgCancelled;
};

} // namespace lt::overseer
