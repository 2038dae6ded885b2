#pragma once

// DocumentServer: a real HTTP server on 127.0.0.1 (cpp-httplib, its own threads) serving fixed
// documents, for tests of code that fetches them. Each path answers with a status, a body and an
// optional delay; requests are counted and logged in arrival order. A delayed answer is cut short
// when the server stops, so a test never waits for it. Header-only: a test target that includes
// it links zandrel_httplib.

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class DocumentServer {
public:
    struct Document {
        int status = 200;
        std::string body;
        std::chrono::milliseconds delay{0};
        std::string contentType = "application/json";
    };

    DocumentServer() {
        m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            Document document;
            {
                std::unique_lock lock(m_mutex);
                m_log.push_back(request.path);
                ++m_hits[request.path];
                auto it = m_documents.find(request.path);
                if (it == m_documents.end()) {
                    response.status = 404;
                    response.set_content("not here", "text/plain");
                    return;
                }
                document = it->second;
                if (document.delay.count() > 0)
                    m_wake.wait_for(lock, document.delay, [this] { return m_stopping; });
            }
            response.status = document.status;
            response.set_content(document.body, document.contentType.c_str());
        });
        // One request per connection: no client keeps a connection the server would wait for.
        m_server.set_keep_alive_max_count(1);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0) throw std::runtime_error("the test HTTP server cannot bind to 127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // stop() before the accept loop runs would be lost and leave it waiting for good.
        for (int i = 0; i < 5000 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~DocumentServer() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_server.stop();
        m_thread.join();
    }
    DocumentServer(const DocumentServer&) = delete;
    DocumentServer& operator=(const DocumentServer&) = delete;

    void serve(const std::string& path, Document document) {
        std::lock_guard lock(m_mutex);
        m_documents[path] = std::move(document);
    }
    void serve(const std::string& path, int status, std::string body) {
        serve(path, Document{status, std::move(body)});
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    int hits(const std::string& path) const {
        std::lock_guard lock(m_mutex);
        auto it = m_hits.find(path);
        return it == m_hits.end() ? 0 : it->second;
    }
    std::vector<std::string> log() const {
        std::lock_guard lock(m_mutex);
        return m_log;
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::map<std::string, Document> m_documents;
    std::map<std::string, int> m_hits;
    std::vector<std::string> m_log;
};

}  // namespace testsupport
