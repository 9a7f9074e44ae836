#include "qvzsim/session.h"

#include <exception>
#include <new>
#include <optional>
#include <vector>

#include "qvzsim/command_table.h"
#include "qvzsim/error_queue.h"
#include "qvzsim/scpi_parser.h"

namespace qvzsim {

Session::Session(Instrument& instrument, Faults& faults, Logger* logger, int id, const std::atomic<bool>* stop)
    : instrument_(instrument), faults_(faults), logger_(logger), id_(id), stop_(stop), dispatcher_(instrument, faults) {}

void Session::GetLog(const std::string& text) const {
    if (logger_ != nullptr && logger_->Enabled()) {
        logger_->Write("#" + std::to_string(id_) + " " + text);
    }
}

namespace {

// Joins `reply` to the replies so far with ';'. False, leaving them as they
// were, when the joined reply would outgrow its cap (or memory).
bool AppendReply(std::string& replies, bool& anyReply, const std::string& reply) {
    const std::size_t separator = anyReply ? 1 : 0;
    if (reply.size() > Session::kMaxReplyBytes - replies.size() - separator) {
        return false;
    }
    try {
        replies.reserve(replies.size() + separator + reply.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (anyReply) {
        replies.push_back(';');
    }
    replies += reply;
    anyReply = true;
    return true;
}

}  // namespace

MessageOutcome Session::HandleMessage(std::string_view message) {
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n')) {
        message.remove_suffix(1);
    }
    if (logger_ != nullptr && logger_->Enabled()) {
        GetLog("<- " + Abbreviate(message));
    }

    MessageOutcome outcome;
    std::string replies;
    bool anyReply = false;
    bool replyFull = false;  // the joined reply reached its cap
    // The compound-message path: after "A:B:C", a following "D" (no leading
    // colon) means "A:B:D". If that names nothing, D is tried from the root,
    // which is what lenient instruments do and what clients tend to expect.
    std::vector<HeaderNode> path;

    const ParsedMessage parsed = ParseProgramMessage(message);
    for (const ScpiCommand& command : parsed.commands) {
        if (stop_ != nullptr && stop_->load()) {
            outcome.closeConnection = true;
            break;
        }
        std::optional<ResolvedCommand> resolved;
        std::vector<HeaderNode> used;
        if (!command.common && !command.rooted && !path.empty()) {
            used = path;
            used.insert(used.end(), command.nodes.begin(), command.nodes.end());
            resolved = ResolveHeader(used, false, command.query);
        }
        if (!resolved) {
            used = command.nodes;
            resolved = ResolveHeader(command);
        }
        if (!resolved) {
            instrument_.PushError(errors::kUndefinedHeader);
            continue;
        }
        if (!command.common) {
            used.pop_back();
            path = std::move(used);
        }

        const FaultAction fault = faults_.OnCommand(*resolved);
        if (fault.silence) {
            GetLog("fault: no reply to " + command.text);
        } else if (replyFull && command.query) {
            // Answered by the error alone; its reply would not fit anyway.
            instrument_.PushError(errors::kTooMuchData);
        } else {
            CommandResult result;
            try {
                result = dispatcher_.Execute(*resolved, command);
            } catch (const std::exception& failure) {
                // Out of memory on a huge file and the like: the command fails,
                // the connection and the instrument carry on.
                GetLog(std::string("command failed: ") + failure.what());
                instrument_.PushError(errors::kExecutionError);
            }
            if (result.hasReply) {
                if (fault.garbage) {
                    GetLog("fault: garbage instead of the reply to " + command.text);
                    result.reply = Faults::kGarbageReply;
                }
                if (!AppendReply(replies, anyReply, result.reply)) {
                    GetLog("reply over " + std::to_string(kMaxReplyBytes >> 20) + " MiB: " + command.text +
                        " and the queries after it are not answered");
                    instrument_.PushError(errors::kTooMuchData);
                    replyFull = true;
                }
            }
        }
        if (fault.delayMs > 0) {
            GetLog("fault: " + std::to_string(fault.delayMs) + " ms delay for " + command.text);
            outcome.delayMs += fault.delayMs;
        }
        if (fault.closeConnection) {
            GetLog("fault: connection closes after " + command.text);
            outcome.closeConnection = true;
            break;
        }
    }
    if (parsed.errorCode != 0 && !outcome.closeConnection) {
        instrument_.PushError(parsed.errorCode);
    }
    if (anyReply) {
        if (logger_ != nullptr && logger_->Enabled()) {
            GetLog("-> " + Abbreviate(replies));
        }
        replies.push_back('\n');
        outcome.reply = std::move(replies);
    }
    return outcome;
}

}  // namespace qvzsim
