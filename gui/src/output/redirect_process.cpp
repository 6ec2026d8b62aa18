// redirect_process.cpp --
//
//     A child process streamed into an output page. The listen thread
//     only reads the pipes: every 100 ms it takes what is there, cuts it
//     into lines and queues each line to the GUI thread (one queue, so
//     the order holds), where the page is looked up by name and the line
//     written. When the process ends the thread is stopped and joined on
//     the GUI thread, which then reads the rest itself and queues it
//     behind the lines already queued.

#include <kiv/gui/redirect_process.h>

#include <kiv/gui/output_service.h>

#include <wx/app.h>
#include <wx/stream.h>

#include <chrono>
#include <utility>

namespace kiv {

namespace {

const auto poll_period = std::chrono::milliseconds(100);
// A line longer than this without a newline is written in pieces.
const size_t max_line = 64 * 1024;

// Text from the child: UTF-8, else bytes as Latin-1 rather than nothing.
wxString to_text(const std::string& bytes) {
    wxString text = wxString::FromUTF8(bytes.data(), bytes.size());
    if (text.empty() && !bytes.empty())
        text = wxString::From8BitData(bytes.data(), bytes.size());
    return text;
}

// Writes one line into the page named in `link`, when the service and the
// page are still there. GUI thread.
void write_line(const std::shared_ptr<redirect_process::link>& link, const wxString& text, bool error) {
    std::lock_guard<std::mutex> guard(link->lock);
    if (link->service == nullptr || link->page.empty())
        return;
    const int page = link->service->get_output_page_index(link->page);
    if (page < 0)
        return;
    if (error)
        link->service->add_text_line_styled(page, text, 255, 0, 0, true, false, false);
    else
        link->service->add_text_line_styled(page, text, 0, 0, 0, false, false, false);
}

}  // namespace

redirect_process::redirect_process() : wxProcess(wxPROCESS_REDIRECT), link_(std::make_shared<link>()) {}

redirect_process::~redirect_process() {
    stop_listening();
}

void redirect_process::attach(output_service* service, const wxString& page) {
    {
        std::lock_guard<std::mutex> guard(link_->lock);
        link_->service = service;
        link_->page = page;
    }
    if (!thread_.joinable() && GetInputStream() != nullptr)
        thread_ = std::thread(&redirect_process::listen, this);
}

void redirect_process::detach_service() {
    {
        std::lock_guard<std::mutex> guard(link_->lock);
        link_->service = nullptr;
    }
    stop_listening();
}

void redirect_process::stop_listening() {
    {
        std::lock_guard<std::mutex> guard(wait_lock_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void redirect_process::listen() {
    std::unique_lock<std::mutex> guard(wait_lock_);
    while (!stop_) {
        wake_.wait_for(guard, poll_period, [this] { return stop_; });
        if (stop_)
            break;
        guard.unlock();
        read_available(false);
        guard.lock();
    }
}

void redirect_process::queue_line(std::string line, bool error) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty() || line == "\t")
        return;
    wxString text = to_text(line);
    std::shared_ptr<link> target = link_;
    if (wxTheApp != nullptr)
        wxTheApp->CallAfter([target, text, error] { write_line(target, text, error); });
}

bool redirect_process::read_available(bool final) {
    bool any = false;
    struct source {
        wxInputStream* stream;
        std::string* pending;
        bool error;
    } sources[] = {{GetInputStream(), &pending_out_, false}, {GetErrorStream(), &pending_err_, true}};
    for (source& s : sources) {
        if (s.stream == nullptr)
            continue;
        char buffer[4096];
        while (s.stream->CanRead()) {
            s.stream->Read(buffer, sizeof buffer);
            const size_t got = s.stream->LastRead();
            if (got == 0)
                break;
            any = true;
            s.pending->append(buffer, got);
            size_t start = 0;
            for (size_t newline; (newline = s.pending->find('\n', start)) != std::string::npos; start = newline + 1)
                queue_line(s.pending->substr(start, newline - start), s.error);
            s.pending->erase(0, start);
            while (s.pending->size() >= max_line) {
                queue_line(s.pending->substr(0, max_line), s.error);
                s.pending->erase(0, max_line);
            }
        }
        if (final && !s.pending->empty()) {
            queue_line(*s.pending, s.error);
            s.pending->clear();
        }
    }
    return any;
}

void redirect_process::OnTerminate(int, int) {
    stop_listening();
    // The thread is gone: this thread reads the rest of both pipes.
    read_available(true);
    output_service* service;
    {
        std::lock_guard<std::mutex> guard(link_->lock);
        service = link_->service;
    }
    if (service != nullptr)
        service->remove_process(this);
    delete this;
}

}  // namespace kiv
