#include "qvzsim/session.h"

#include <exception>
#include <new>
#include <optional>
#include <vector>

#include "qvzsim/command_table.h"
#include "qvzsim/error_queue.h"
#include "qvzsim/scpi_parser.h"

namespace qvzsim {

Session::Session(Instrument& instrument, Faults& faults, Logger* logger, int id,
                 const std::atomic<bool>* stop)
    : instrument_(instrument),
      faults_(faults),
      logger_(logger),
      id_(id),
      stop_(stop),
      dispatcher_(instrument, faults) {}

void Session::WriteLog(const std::string& text) const {
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

// What one program message has built up so far.
struct Session::MessageProgress {
    MessageOutcome outcome;
    std::string replies;
    bool anyReply = false;
    bool replyFull = false;  // the joined reply reached its cap
    // The compound-message path: after "A:B:C", a following "D" (no leading
    // colon) means "A:B:D". If that names nothing, D is tried from the root,
    // which is what lenient instruments do and what clients tend to expect.
    std::vector<HeaderNode> path;
};

namespace {

// Resolves the command on the message's path, or else from the root; a
// resolved command that is not common leaves its own path behind.
std::optional<ResolvedCommand> ResolveOnPath(const ScpiCommand& command,
                                             std::vector<HeaderNode>& path) {
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
    if (resolved && !command.common) {
        used.pop_back();
        path = std::move(used);
    }
    return resolved;
}

}  // namespace

MessageOutcome Session::HandleMessage(std::string_view message) {
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n')) {
        message.remove_suffix(1);
    }
    if (logger_ != nullptr && logger_->Enabled()) {
        WriteLog("<- " + Abbreviate(message));
    }

    MessageProgress progress;
    const ParsedMessage parsed = ParseProgramMessage(message);
    for (const ScpiCommand& command : parsed.commands) {
        if (stop_ != nullptr && stop_->load()) {
            progress.outcome.closeConnection = true;
            break;
        }
        const std::optional<ResolvedCommand> resolved = ResolveOnPath(command, progress.path);
        if (!resolved) {
            instrument_.PushError(errors::kUndefinedHeader);
            continue;
        }
        RunCommand(command, *resolved, progress);
        if (progress.outcome.closeConnection) {
            break;
        }
    }
    if (parsed.errorCode != 0 && !progress.outcome.closeConnection) {
        instrument_.PushError(parsed.errorCode);
    }
    if (progress.anyReply) {
        if (logger_ != nullptr && logger_->Enabled()) {
            WriteLog("-> " + Abbreviate(progress.replies));
        }
        progress.replies.push_back('\n');
        progress.outcome.reply = std::move(progress.replies);
    }
    return std::move(progress.outcome);
}

void Session::RunCommand(const ScpiCommand& command, const ResolvedCommand& resolved,
                         MessageProgress& progress) {
    const FaultAction fault = faults_.OnCommand(resolved);
    if (fault.silence) {
        WriteLog("fault: no reply to " + command.text);
    } else if (progress.replyFull && command.query) {
        // Answered by the error alone; its reply would not fit anyway.
        instrument_.PushError(errors::kTooMuchData);
    } else {
        ExecuteAndReply(command, resolved, fault.garbage, progress);
    }
    if (fault.delayMs > 0) {
        WriteLog("fault: " + std::to_string(fault.delayMs) + " ms delay for " + command.text);
        progress.outcome.delayMs += fault.delayMs;
    }
    if (fault.closeConnection) {
        WriteLog("fault: connection closes after " + command.text);
        progress.outcome.closeConnection = true;
    }
}

void Session::ExecuteAndReply(const ScpiCommand& command, const ResolvedCommand& resolved,
                              bool garbage, MessageProgress& progress) {
    CommandResult result;
    try {
        result = dispatcher_.Execute(resolved, command);
    } catch (const std::exception& failure) {
        // Out of memory on a huge file and the like: the command fails, the
        // connection and the instrument carry on.
        WriteLog(std::string("command failed: ") + failure.what());
        instrument_.PushError(errors::kExecutionError);
    }
    if (!result.hasReply) {
        return;
    }
    if (garbage) {
        WriteLog("fault: garbage instead of the reply to " + command.text);
        result.reply = Faults::kGarbageReply;
    }
    if (!AppendReply(progress.replies, progress.anyReply, result.reply)) {
        WriteLog("reply over " + std::to_string(kMaxReplyBytes >> 20) + " MiB: " + command.text +
                 " and the queries after it are not answered");
        instrument_.PushError(errors::kTooMuchData);
        progress.replyFull = true;
    }
}

}  // namespace qvzsim
