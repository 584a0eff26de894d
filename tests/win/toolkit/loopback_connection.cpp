#include "toolkit/loopback_connection.h"

#include "toolkit/wait.h"

namespace wintest {

LoopbackConnection::LoopbackConnection(int port) {
    WSADATA wsa;
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    m_address.sin_family = AF_INET;
    m_address.sin_port = htons(static_cast<u_short>(port));
    m_address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
}

LoopbackConnection::~LoopbackConnection() {
    Close();
    ::WSACleanup();
}

bool LoopbackConnection::Connect() {
    Close();
    m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) != 0) return false;
    DWORD timeout = kPatience;
    ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    return true;
}

void LoopbackConnection::Send(const std::string& data) {
    ::send(m_socket, data.data(), static_cast<int>(data.size()), 0);
}

int LoopbackConnection::Receive(char* buffer, int size) { return ::recv(m_socket, buffer, size, 0); }

void LoopbackConnection::Close() {
    if (m_socket != INVALID_SOCKET) ::closesocket(m_socket);
    m_socket = INVALID_SOCKET;
}

}  // namespace wintest
