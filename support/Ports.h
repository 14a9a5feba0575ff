// Loopback ports for servers started on this machine: finding a free one and
// telling when a server has begun to answer on it. Every wait has a bound.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

namespace kwinet::support {

// A TCP port on 127.0.0.1 that nobody listens on right now (0 when none
// could be had).
int FreePort();
// A port on 127.0.0.1 that is free for both UDP and TCP right now.
int FreeUdpTcpPort();
// True when something accepts connections on 127.0.0.1:Port.
bool PortOpen(int Port);
// Connects to 127.0.0.1:Port until it answers (true) or Limit passes; gives
// up early when Process, if given, has ended (the process is left to its
// owner to reap).
bool WaitForPort(int Port, std::chrono::milliseconds Limit, pid_t Process = 0);
// Sends Request to 127.0.0.1:Port over UDP; true when an answer comes within
// TimeoutMs and Accept takes it.
bool UdpAnswers(int Port, const std::string& Request, const std::function<bool(const std::string&)>& Accept,
                int TimeoutMs = 200);

}  // namespace kwinet::support
