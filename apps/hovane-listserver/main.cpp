// hovane-listserver: serves a folder over HTTP, as the update server serves
// its version lists. For demos and manual tests on 127.0.0.1.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::atomic<bool> g_stop{false};

void RequestStop(int) { g_stop = true; }

const char kUsage[] =
    "usage: hovane-listserver --root DIR [--bind ADDRESS] [--port PORT]\n"
    "\n"
    "Serves the files of DIR over HTTP: GET /a/b.html answers DIR/a/b.html.\n"
    "Paths that leave DIR, and missing files, answer 404.\n"
    "\n"
    "  --root DIR       the folder to serve (required)\n"
    "  --bind ADDRESS   the address to listen on (default 127.0.0.1)\n"
    "  --port PORT      the port; 0 picks a free one (default 0)\n"
    "\n"
    "Prints \"listening on http://ADDRESS:PORT\" once ready, one line per request\n"
    "on stderr, and stops on SIGINT or SIGTERM.\n";

// The file under root that a request path names, or "" when it leaves root.
fs::path Resolve(const fs::path& root, const std::string& requestPath) {
  fs::path relative = fs::path(requestPath).relative_path().lexically_normal();
  if (relative.empty() || *relative.begin() == "..") return {};
  return root / relative;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root, bind = "127.0.0.1";
  int port = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "hovane-listserver: " << arg << " needs a value\n" << kUsage;
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--root") {
      root = value();
    } else if (arg == "--bind") {
      bind = value();
    } else if (arg == "--port") {
      port = std::atoi(value().c_str());
    } else {
      std::cerr << "hovane-listserver: unknown option " << arg << "\n" << kUsage;
      return 2;
    }
  }
  if (root.empty() || !fs::is_directory(root)) {
    std::cerr << "hovane-listserver: --root must name a folder\n" << kUsage;
    return 2;
  }
  const fs::path rootPath = fs::canonical(root);

  httplib::Server server;
  server.Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
    const fs::path file = Resolve(rootPath, request.path);
    std::error_code ec;
    if (file.empty() || !fs::is_regular_file(file, ec)) {
      response.status = 404;
    } else {
      std::ifstream in(file, std::ios::binary);
      std::ostringstream body;
      body << in.rdbuf();
      response.set_content(body.str(), "text/html");
    }
    std::cerr << request.remote_addr << " GET " << request.path << " " << response.status << "\n";
  });

  if (port == 0) {
    port = server.bind_to_any_port(bind);
  } else if (!server.bind_to_port(bind, port)) {
    port = -1;
  }
  if (port < 0) {
    std::cerr << "hovane-listserver: cannot listen on " << bind << "\n";
    return 1;
  }
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  std::thread stopper([&] {
    while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.stop();
  });
  std::cout << "listening on http://" << bind << ":" << port << std::endl;
  server.listen_after_bind();
  g_stop = true;
  stopper.join();
  return 0;
}
