#include "scripted_instrument.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "visa/backend.h"

namespace qvz {
namespace testing {

using visa::ViAttr;
using visa::ViAttrState;
using visa::ViStatus;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kCallKinds = 7;

int Index(ScriptedInstrument::Call call) {
    return static_cast<int>(call);
}

// What one session of the instrument holds; guarded by the core's mutex.
struct ScriptedSession {
    struct Chunk {
        std::string bytes;
        std::size_t delivered = 0;
        Clock::time_point readyAt;
        std::size_t record = 0;   // the Read record that a split delivery extends
        unsigned generation = 0;  // of the records that `record` points into
    };
    std::string resource;
    std::deque<Chunk> pending;
    std::map<ViAttr, ViAttrState> attributes;
};

}  // namespace

struct ScriptedInstrument::Core final : visa::Backend, std::enable_shared_from_this<Core> {
    struct Rule {
        Call call;
        int index;  // the call number it fires on; 0 for every call
        ViStatus status;
    };

    mutable std::mutex mutex;
    std::vector<Record> records;
    Responder responder;
    std::chrono::milliseconds delay{0};
    int calls[kCallKinds] = {};
    std::vector<Rule> rules;
    std::shared_ptr<ScriptedSession> latest;
    bool reconnectsOnClear = false;
    unsigned generation = 0;  // bumped when the records are cleared

    // Counts one call and gives the status injected for it, if any. The
    // caller holds the mutex.
    std::optional<ViStatus> Count(Call call) {
        const int number = ++calls[Index(call)];
        for (auto it = rules.begin(); it != rules.end(); ++it) {
            if (it->call == call && it->index == number) {
                const ViStatus status = it->status;
                rules.erase(it);
                return status;
            }
        }
        for (const Rule& rule : rules) {
            if (rule.call == call && rule.index == 0) {
                return rule.status;
            }
        }
        return std::nullopt;
    }

    std::size_t Add(Call call, std::string text, ViStatus status) {
        records.push_back(Record{call, std::move(text), status});
        return records.size() - 1;
    }

    ViStatus OpenDefaultRM() override {
        std::lock_guard<std::mutex> lock(mutex);
        const ViStatus status = Count(Call::OpenDefaultRM).value_or(visa::VI_SUCCESS);
        Add(Call::OpenDefaultRM, "", status);
        return status;
    }

    ViStatus CloseDefaultRM() override {
        std::lock_guard<std::mutex> lock(mutex);
        const ViStatus status = Count(Call::Close).value_or(visa::VI_SUCCESS);
        Add(Call::Close, "", status);
        return status;
    }

    ViStatus Open(const visa::SocketResource& resource, const char* text,
                  std::unique_ptr<visa::Transport>* transport) override;

    bool ReconnectsOnClear() const override {
        std::lock_guard<std::mutex> lock(mutex);
        return reconnectsOnClear;
    }
};

namespace {

class ScriptedTransport final : public visa::Transport {
public:
    ScriptedTransport(std::shared_ptr<ScriptedInstrument::Core> core,
                      std::shared_ptr<ScriptedSession> session)
        : core_(std::move(core)), session_(std::move(session)) {}

    ViStatus Write(const char* data, std::size_t size, const visa::Deadline&) override {
        using Call = ScriptedInstrument::Call;
        std::string command(data, size);
        ScriptedInstrument::Responder responder;
        ViStatus status;
        {
            std::lock_guard<std::mutex> lock(core_->mutex);
            status = core_->Count(Call::Write).value_or(visa::VI_SUCCESS);
            core_->Add(Call::Write, command, status);
            if (status < visa::VI_SUCCESS) {
                return status;
            }
            responder = core_->responder;
        }
        std::optional<std::string> reply;
        if (responder) {
            reply = responder(command);
        }
        if (reply) {
            std::lock_guard<std::mutex> lock(core_->mutex);
            ScriptedSession::Chunk chunk;
            chunk.bytes = std::move(*reply);
            chunk.readyAt = Clock::now() + core_->delay;
            session_->pending.push_back(std::move(chunk));
        }
        return status;
    }

    ViStatus Read(char* buffer, std::size_t capacity, const visa::Deadline& deadline,
                  std::size_t* received) override {
        using Call = ScriptedInstrument::Call;
        std::unique_lock<std::mutex> lock(core_->mutex);
        const bool continuing =
            !session_->pending.empty() && session_->pending.front().delivered > 0;
        std::optional<ViStatus> injected;
        if (!continuing) {
            injected = core_->Count(Call::Read);
            if (injected && *injected < visa::VI_SUCCESS) {
                core_->Add(Call::Read, "", *injected);
                return *injected;
            }
        }
        for (;;) {
            const bool empty = session_->pending.empty();
            const Clock::time_point now = Clock::now();
            if (!empty && session_->pending.front().readyAt <= now) {
                break;
            }
            // Silence answers at once unless the instrument is slow; a slow
            // one is waited for until the session's deadline.
            const bool silent = empty && (core_->delay.count() == 0 || deadline.Infinite());
            if (silent || (!deadline.Infinite() && now >= deadline.At())) {
                core_->Add(Call::Read, "", visa::VI_ERROR_TMO);
                return visa::VI_ERROR_TMO;
            }
            Clock::time_point until = empty ? deadline.At() : session_->pending.front().readyAt;
            if (!deadline.Infinite() && deadline.At() < until) {
                until = deadline.At();
            }
            lock.unlock();
            std::this_thread::sleep_until(until);
            lock.lock();
        }
        ScriptedSession::Chunk& chunk = session_->pending.front();
        const std::size_t left = chunk.bytes.size() - chunk.delivered;
        const std::size_t n = left < capacity ? left : capacity;
        std::memcpy(buffer, chunk.bytes.data() + chunk.delivered, n);
        const ViStatus status = injected.value_or(visa::VI_SUCCESS);
        if (chunk.delivered == 0 || chunk.generation != core_->generation) {
            chunk.record = core_->Add(Call::Read, std::string(buffer, n), status);
            chunk.generation = core_->generation;
        } else {
            core_->records[chunk.record].text.append(buffer, n);
        }
        chunk.delivered += n;
        if (chunk.delivered == chunk.bytes.size()) {
            session_->pending.pop_front();
        }
        *received = n;
        return status;
    }

    ViStatus DiscardInput() override {
        using Call = ScriptedInstrument::Call;
        std::lock_guard<std::mutex> lock(core_->mutex);
        const ViStatus status = core_->Count(Call::Clear).value_or(visa::VI_SUCCESS);
        core_->Add(Call::Clear, "", status);
        if (status >= visa::VI_SUCCESS) {
            session_->pending.clear();
        }
        return status;
    }

    // Before a query: what has arrived goes, replies still on their way
    // (a slow instrument's) stay. Not a device clear, so not recorded.
    ViStatus DropStaleInput() override {
        std::lock_guard<std::mutex> lock(core_->mutex);
        const Clock::time_point now = Clock::now();
        auto& pending = session_->pending;
        pending.erase(std::remove_if(pending.begin(), pending.end(),
                                     [now](const ScriptedSession::Chunk& chunk) {
                                         return chunk.readyAt <= now;
                                     }),
                      pending.end());
        return visa::VI_SUCCESS;
    }

    ViStatus SetAttribute(ViAttr attribute, ViAttrState value) override {
        using Call = ScriptedInstrument::Call;
        char text[48];
        std::snprintf(text, sizeof text, "0x%08" PRIX32 "=%" PRIu64, attribute, value);
        std::lock_guard<std::mutex> lock(core_->mutex);
        const ViStatus status = core_->Count(Call::SetAttribute).value_or(visa::VI_SUCCESS);
        core_->Add(Call::SetAttribute, text, status);
        if (status >= visa::VI_SUCCESS) {
            session_->attributes[attribute] = value;
        }
        return status;
    }

    ViStatus Close() override {
        using Call = ScriptedInstrument::Call;
        std::lock_guard<std::mutex> lock(core_->mutex);
        const ViStatus status = core_->Count(Call::Close).value_or(visa::VI_SUCCESS);
        core_->Add(Call::Close, session_->resource, status);
        session_->pending.clear();
        return status;
    }

private:
    std::shared_ptr<ScriptedInstrument::Core> core_;
    std::shared_ptr<ScriptedSession> session_;
};

}  // namespace

ViStatus ScriptedInstrument::Core::Open(const visa::SocketResource& /*resource*/, const char* text,
                                        std::unique_ptr<visa::Transport>* transport) {
    std::lock_guard<std::mutex> lock(mutex);
    const ViStatus status = Count(Call::Open).value_or(visa::VI_SUCCESS);
    Add(Call::Open, text, status);
    if (status < visa::VI_SUCCESS) {
        return status;
    }
    auto session = std::make_shared<ScriptedSession>();
    session->resource = text;
    latest = session;
    transport->reset(new ScriptedTransport(shared_from_this(), std::move(session)));
    return status;
}

ScriptedInstrument::ScriptedInstrument() : core_(std::make_shared<Core>()) {
    visa::SetBackendForTesting(core_);
}

ScriptedInstrument::~ScriptedInstrument() {
    visa::SetBackendForTesting(nullptr);
}

std::vector<ScriptedInstrument::Record> ScriptedInstrument::Records() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->records;
}

std::vector<std::string> ScriptedInstrument::Commands() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    std::vector<std::string> written;
    for (const Record& record : core_->records) {
        if (record.call == Call::Write && record.status >= visa::VI_SUCCESS) {
            written.push_back(record.text);
        }
    }
    return written;
}

int ScriptedInstrument::Count(Call call) const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    int n = 0;
    for (const Record& record : core_->records) {
        n += record.call == call ? 1 : 0;
    }
    return n;
}

void ScriptedInstrument::ClearRecords() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->records.clear();
    ++core_->generation;
}

void ScriptedInstrument::FailCall(Call call, int nth, visa::ViStatus status) {
    if (nth < 1) {
        throw std::invalid_argument("failCall counts calls from 1");
    }
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->rules.push_back(Core::Rule{call, core_->calls[Index(call)] + nth, status});
}

void ScriptedInstrument::FailAll(Call call, visa::ViStatus status) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->rules.push_back(Core::Rule{call, 0, status});
}

void ScriptedInstrument::ClearFailures() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->rules.clear();
}

void ScriptedInstrument::SetResponder(Responder responder) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->responder = std::move(responder);
}

std::string FormatFrequencyList(const std::vector<double>& frequencies) {
    std::string text;
    text.reserve(frequencies.size() * 24);
    char number[32];
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        if (i > 0) {
            text.push_back(',');
        }
        const int length = std::snprintf(number, sizeof number, "%.17g", frequencies[i]);
        text.append(number, static_cast<std::size_t>(length));
    }
    return text;
}

void ScriptedInstrument::ServeAnalyzer(int channel, std::vector<double> frequencies,
                                       std::string errorEntry) {
    const std::string ch = std::to_string(channel);
    auto replies = std::make_shared<std::map<std::string, std::string>>();
    (*replies)["SERVice:CHANnel:ACTive?\n"] = ch + "\n";
    (*replies)["SENSe" + ch + ":SWEep:POINts?\n"] = std::to_string(frequencies.size()) + "\n";
    (*replies)[":SENSe" + ch + ":FREQuency:DATA?\n"] = FormatFrequencyList(frequencies) + "\n";
    (*replies)[":SYST:ERR?\n"] = errorEntry + "\n";
    SetResponder([replies](const std::string& command) -> std::optional<std::string> {
        const auto it = replies->find(command);
        if (it == replies->end()) {
            return std::nullopt;
        }
        return it->second;
    });
}

void ScriptedInstrument::SetReplyDelay(std::chrono::milliseconds delay) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->delay = delay;
}

void ScriptedInstrument::SetReconnectsOnClear(bool reconnects) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    core_->reconnectsOnClear = reconnects;
}

void ScriptedInstrument::QueueInput(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (const auto& session = core_->latest) {
        ScriptedSession::Chunk chunk;
        chunk.bytes = bytes;
        chunk.readyAt = Clock::now();
        session->pending.push_back(std::move(chunk));
    }
}

std::optional<visa::ViAttrState> ScriptedInstrument::Attribute(visa::ViAttr attribute) const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    const auto& session = core_->latest;
    if (!session) {
        return std::nullopt;
    }
    const auto it = session->attributes.find(attribute);
    if (it == session->attributes.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace testing
}  // namespace qvz
