#pragma once

// The system's socket declarations (addresses, name resolution, options):
// Windows Sockets 2 or the BSD sockets, which share these names.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif
