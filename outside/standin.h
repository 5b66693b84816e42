#pragma once
// What the stand-ins of the outside programs share: their window, which registers its title in
// the window directory and stays hidden when the program was started hidden, and the reading
// of their command lines. A stand-in honours the contract of the program it replaces (window
// title, command line) and does nothing of its real work.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <optional>

class QApplication;
class QLabel;

namespace lt::outside
{

class StandInWindow : public QWidget
{
public:
    StandInWindow(const QString& title, const QString& heading, QWidget* parent = nullptr);

    void setStatus(const QString& text);
    QString status() const;
    void addBusyBar(); // an indeterminate progress bar under the status
    // The program ends as soon as another process gives the window this title.
    void setExitTitle(const QString& title) { exitTitle_ = title; }

    // Registers the window, shows it unless the program was started hidden, runs the program.
    int run(QApplication& app);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* status_;
    QString exitTitle_;
};

struct Arguments {
    std::optional<int> adapter;      // "-i N"; 0 when N is not a number
    std::optional<int> feedRate;     // "--feed N", rows per minute
    std::optional<QString> readFile; // "-r FILE": a capture file instead of an adapter
    bool simulate = false;           // "--simulate": made-up visits instead of capturing
    QStringList words;               // everything else, in order
};

// Reads the command line. "-h", "--help" or "/?" print help and end the program; options that
// are not known are kept as words (a module starts whatever it is given).
Arguments parseArguments(const QStringList& arguments, const QString& help);

// The stand-in's own help: what it stands in for, then the usage lines.
QString helpText(const QString& program, const QString& module, const QString& usage);

// What a module started with "-i N" says about its adapter.
QString adapterStatus(const std::optional<int>& number);

} // namespace lt::outside
