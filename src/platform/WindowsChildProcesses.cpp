#include "platform/WindowsChildProcesses.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <map>

#include "platform/WindowsSupport.h"

using winsupport::Handle;
using winsupport::LastError;

namespace {

// The completion key of the interrupt's packet; children's keys are their ids, from 1.
constexpr ULONG_PTR kInterruptKey = 0;
constexpr DWORD kPipeBuffer = 64 * 1024;

// Set by the console control handler, which the system runs on a thread of its own, and read by
// the one ChildProcesses object that installed it.
std::atomic<bool> gInterrupted{false};
std::atomic<HANDLE> gPort{nullptr};

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;  // closing the console or logging off ends the process as usual
    }
    gInterrupted = true;
    if (const HANDLE port = gPort.load()) {
        ::PostQueuedCompletionStatus(port, 0, kInterruptKey, nullptr);
    }
    return TRUE;
}

class WindowsChildProcesses : public ChildProcesses {
public:
    WindowsChildProcesses() : port_(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1)) {
        gInterrupted = false;
        gPort = port_.get();
        ::SetConsoleCtrlHandler(OnControl, TRUE);
    }

    ~WindowsChildProcesses() override {
        std::vector<Event> events;
        while (running() > 0) {
            wait(&events);
            events.clear();
        }
        ::SetConsoleCtrlHandler(OnControl, FALSE);
        gPort = nullptr;
    }

    int start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
              Id* child) override {
        const Id id = lastId_ + 1;
        // The child writes into the client end of a pipe of its own; this object reads the
        // server end, overlapped, through the completion port.
        wchar_t name[96];
        std::swprintf(name, 96, L"\\\\.\\pipe\\patchtree-%lu-%llu", ::GetCurrentProcessId(),
                      static_cast<unsigned long long>(id));
        Handle reader(::CreateNamedPipeW(
            name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, kPipeBuffer, 0,
            nullptr));
        if (!reader.valid()) {
            return LastError();
        }
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        Handle writer(::CreateFileW(name, GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        Handle input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr));
        Handle error = winsupport::InheritableCopy(::GetStdHandle(STD_ERROR_HANDLE));
        if (!writer.valid() || !input.valid() ||
            !::CreateIoCompletionPort(reader.get(), port_.get(), id, 0)) {
            return LastError();
        }
        // A process group of its own: the console's Ctrl-C reaches this process only.
        Handle process;
        if (const int failure =
                winsupport::StartProcess(program, arguments, input.get(), writer.get(), error.get(),
                                         CREATE_NEW_PROCESS_GROUP, &process)) {
            return failure;
        }
        lastId_ = id;
        *child = id;
        Child& started = children_[id];
        started.process = std::move(process);
        started.output = std::move(reader);
        read(started);
        return 0;
    }

    void wait(std::vector<Event>* events) override {
        const std::size_t before = events->size();
        // A child whose pipe could not be read at all has nothing more to come.
        for (auto it = children_.begin(); it != children_.end();) {
            if (!it->second.output.valid() && !it->second.reading) {
                Event event;
                event.child = it->first;
                event.ended = true;
                event.result = finish(it->second);
                events->push_back(std::move(event));
                it = children_.erase(it);
            } else {
                ++it;
            }
        }
        while (!children_.empty() && events->size() == before) {
            DWORD bytes = 0;
            ULONG_PTR key = 0;
            OVERLAPPED* done = nullptr;
            const BOOL ok = ::GetQueuedCompletionStatus(port_.get(), &bytes, &key, &done, INFINITE);
            if (!ok && done == nullptr) {
                return;  // the port itself failed: nothing will arrive
            }
            if (key == kInterruptKey && done == nullptr) {
                if (!interruptReported_) {
                    interruptReported_ = true;
                    return;
                }
                continue;
            }
            const auto it = children_.find(key);
            if (it == children_.end()) {
                continue;
            }
            Child& child = it->second;
            child.reading = false;
            Event event;
            event.child = key;
            if (ok) {
                event.output.assign(child.buffer, bytes);
                read(child);
            } else {
                child.output.reset();  // the pipe's end (ERROR_BROKEN_PIPE) or a failed read
            }
            if (!child.output.valid() && !child.reading) {
                event.ended = true;
                event.result = finish(child);
                children_.erase(it);
            }
            if (!event.output.empty() || event.ended) {
                events->push_back(std::move(event));
            }
        }
    }

    std::size_t running() const override { return children_.size(); }

    bool interrupted() const override { return gInterrupted; }

private:
    struct Child {
        Handle process;
        Handle output;  // invalid once the pipe has reached its end
        OVERLAPPED overlapped{};
        bool reading = false;
        char buffer[kPipeBuffer];
    };

    // Starts the next read of the child's pipe; its completion, or the pipe's end, arrives at
    // the port.
    void read(Child& child) {
        child.overlapped = OVERLAPPED{};
        if (::ReadFile(child.output.get(), child.buffer, sizeof child.buffer, nullptr,
                       &child.overlapped) ||
            ::GetLastError() == ERROR_IO_PENDING) {
            child.reading = true;
        } else {
            child.output.reset();
        }
    }

    // How the child ended, once its output is complete (it closes its end as it exits).
    static ProcessResult finish(Child& child) {
        return winsupport::WaitForExit(child.process.get());
    }

    Handle port_;
    std::map<Id, Child> children_;
    Id lastId_ = 0;
    bool interruptReported_ = false;
};

}  // namespace

std::unique_ptr<ChildProcesses> NewWindowsChildProcesses() {
    return std::make_unique<WindowsChildProcesses>();
}
