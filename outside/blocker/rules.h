#pragma once
// The blocking module's packet rules: one nftables table of its own ("inet lantrove_block")
// that sends the new TCP connections to ports 80 and 443 arriving on the LAN side to the
// module's port (redirect) and drops the LAN's UDP 443 (QUIC), so that browsers fall back to
// TCP, where the module judges the site. Nothing else is touched: DNS, other ports and the
// traffic of the gateway itself pass as before.
//
// Fail open. Every rule that diverts or drops matches only while the LAN interface is an
// element of the set "lan", and the element carries a timeout that the module renews every
// second (heartbeat). When the module dies and nothing removes the table, the element expires
// within kHeartbeatTimeoutSeconds and the terminals' traffic flows as if the module had never
// been there. A guard process removes the table at once (outside/blocker/guard.h); the module
// removes it when it ends and any table a dead module left when it starts.
//
// The rules go through libnftables in the module's own process, so the right CAP_NET_ADMIN
// given to the program file (setcap) is enough; no nft program is run.

#include <QString>
#include <cstdint>
#include <optional>

struct nft_ctx; // libnftables

namespace lt::blocker
{

inline const QString kTableName = QStringLiteral("lantrove_block");
constexpr int kHeartbeatSeconds = 1;
constexpr int kHeartbeatTimeoutSeconds = 5;

// The whole table for a LAN interface and the module's port, created in one transaction with
// the interface already in the set (a table of that name is replaced).
QString rulesetText(const QString& lanInterface, uint16_t port);
// Renews the interface's element (its timeout starts again). One transaction, which never
// fails for an element that has expired meanwhile.
QString heartbeatText(const QString& lanInterface);

// "table inet lantrove_block { # handle 7" -> 7, from a listing with handles.
std::optional<uint64_t> tableHandle(const QString& listing);

// Why rules could not be set, as the window tells it.
enum class RuleProblem { None, Permission, Other };

// Runs nftables commands (the nft language) in this process.
class Nftables
{
public:
    Nftables();
    ~Nftables();
    Nftables(const Nftables&) = delete;
    Nftables& operator=(const Nftables&) = delete;

    // One transaction: every command or none. output: what a listing printed.
    bool run(const QString& commands, QString* output = nullptr);
    QString error() const { return error_; } // nftables' own message of the last failure
    RuleProblem problem() const { return problem_; }

    // Removes a table of this name that a module before this one left.
    void removeLeftover();
    // Creates the table; its handle, by which it is removed later (a table created anew by a
    // later module has another handle).
    std::optional<uint64_t> install(const QString& lanInterface, uint16_t port);
    bool heartbeat(const QString& lanInterface);
    bool remove(uint64_t handle);
    // Whether the table of this handle still exists.
    bool exists(uint64_t handle);

private:
    ::nft_ctx* ctx_ = nullptr;
    QString error_;
    RuleProblem problem_ = RuleProblem::None;
};

// Whether this process holds CAP_NET_ADMIN in its effective set.
bool hasNetAdmin();

} // namespace lt::blocker
