#!/usr/bin/python3
# NTS key-exchange servers (RFC 8915 section 4) that misbehave on purpose,
# one per port, for the cases chronyd never shows: each speaks TLS 1.3 with
# ALPN "ntske/1" unless its behaviour says otherwise.
#   nts-ke-server.py READY_FILE PORT:BEHAVIOUR[:CERT:KEY] ...
# Behaviours:
#   error    reads the request, answers an Error record (Bad Request)
#   no-nts   reads the request, answers an empty Next Protocol record
#   no-alpn  TLS without ALPN; reads the request and closes
#   silent   accepts the TCP connection and never says a word (no TLS)
# Listens on 127.0.0.1 only. READY_FILE is written once every port listens.
# Runs until it is ended; every connection is dropped after 30 s.
import socket
import ssl
import struct
import sys
import threading

CONNECTION_LIMIT_S = 30
ERROR, NEXT_PROTOCOL, END = 2, 1, 0
CRITICAL = 0x8000
BAD_REQUEST = 1


def record(kind, body=b""):
    return struct.pack("!HH", CRITICAL | kind, len(body)) + body


ANSWERS = {
    "error": record(ERROR, struct.pack("!H", BAD_REQUEST)) + record(END),
    "no-nts": record(NEXT_PROTOCOL) + record(END),
    "no-alpn": b"",
}


def read_request(stream):
    """Reads records up to End of Message; False when the stream ends first."""
    pending = b""
    while True:
        while len(pending) >= 4:
            kind, length = struct.unpack("!HH", pending[:4])
            if len(pending) < 4 + length:
                break
            pending = pending[4 + length:]
            if kind & ~CRITICAL == END:
                return True
        piece = stream.recv(4096)
        if not piece:
            return False
        pending += piece


def serve(connection, behaviour, context):
    connection.settimeout(CONNECTION_LIMIT_S)
    # Each flight at once, not 40 ms behind the peer's delayed ACK.
    connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    try:
        if behaviour == "silent":
            while connection.recv(4096):
                pass
            return
        with context.wrap_socket(connection, server_side=True) as stream:
            if read_request(stream):
                stream.sendall(ANSWERS[behaviour])
                stream.unwrap()  # close_notify: the answer is whole
    except (OSError, ssl.SSLError):
        pass  # the client gave up, as the tests' clients do on purpose
    finally:
        connection.close()


def listen(port):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)
    return listener


def tls_context(behaviour, cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_3
    context.load_cert_chain(cert, key)
    if behaviour != "no-alpn":
        context.set_alpn_protocols(["ntske/1"])
    return context


def accept_forever(listener, behaviour, context):
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection, behaviour, context), daemon=True).start()


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: nts-ke-server.py READY_FILE PORT:BEHAVIOUR[:CERT:KEY] ...")
    servers = []
    for argument in sys.argv[2:]:
        port, behaviour, *files = argument.split(":")
        if behaviour not in ("silent", *ANSWERS) or len(files) != (0 if behaviour == "silent" else 2):
            sys.exit(f"nts-ke-server.py: bad server '{argument}'")
        context = None if behaviour == "silent" else tls_context(behaviour, *files)
        servers.append((listen(int(port)), behaviour, context))
    threads = [threading.Thread(target=accept_forever, args=server, daemon=True) for server in servers]
    for thread in threads:
        thread.start()
    with open(sys.argv[1], "w") as ready:
        ready.write("ready\n")
    for thread in threads:
        thread.join()


if __name__ == "__main__":
    main()
