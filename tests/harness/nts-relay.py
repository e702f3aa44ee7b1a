#!/usr/bin/python3
# What is on the path between a client and chronyd: a relay at its own
# loopback address that forwards the NTS key exchange (TCP) and NTP (UDP)
# to chronyd on 127.0.0.1, logs what passes, and changes the answers on
# their way back as the control file says. Run by with-peers, outside Wine:
# Wine binds a UDP socket of one loopback address to all of them, so its
# answers would leave from another address than the one asked.
#   nts-relay.py READY_FILE ADDRESS KE_PORT NTP_PORT LOG_FILE CHANGE_FILE
# The log gets one line per event: "ke" for each key-exchange connection,
# "request HEX" and "answer HEX" (the answer as chronyd sent it). The change
# file, read for every answer, holds "transmit SECONDS" (the transmit
# timestamp moved on), "byte OFFSET" (one byte flipped) or nothing.
# Runs until it is ended; every connection is dropped after 30 s.
import select
import socket
import struct
import sys
import threading

CONNECTION_LIMIT_S = 30


def log(path, line, lock=threading.Lock()):
    with lock, open(path, "a") as out:
        out.write(line + "\n")


def changed(answer, change_file):
    try:
        with open(change_file) as control:
            words = control.read().split()
    except OSError:
        words = []
    answer = bytearray(answer)
    if len(words) == 2 and words[0] == "transmit" and len(answer) >= 48:
        (transmit,) = struct.unpack("!Q", answer[40:48])
        answer[40:48] = struct.pack("!Q", (transmit + (int(words[1]) << 32)) % (1 << 64))
    elif len(words) == 2 and words[0] == "byte" and int(words[1]) < len(answer):
        answer[int(words[1])] ^= 0x01
    return bytes(answer)


def relay_stream(client, ke_port):
    server = socket.create_connection(("127.0.0.1", ke_port), timeout=CONNECTION_LIMIT_S)
    for end in (client, server):
        end.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    try:
        ends = {client: server, server: client}
        while True:
            ready, _, _ = select.select(list(ends), [], [], CONNECTION_LIMIT_S)
            if not ready:
                return
            for end in ready:
                data = end.recv(4096)
                if not data:
                    return
                ends[end].sendall(data)
    finally:
        client.close()
        server.close()


def serve_key_exchanges(listener, ke_port, log_file):
    while True:
        client, _ = listener.accept()
        log(log_file, "ke")
        threading.Thread(target=relay_stream, args=(client, ke_port), daemon=True).start()


def main():
    ready_file, address, ke_port, ntp_port, log_file, change_file = sys.argv[1:7]
    ke_port, ntp_port = int(ke_port), int(ntp_port)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, ke_port))
    listener.listen(8)
    near = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    near.bind((address, ntp_port))
    far = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    far.bind(("127.0.0.1", 0))
    threading.Thread(target=serve_key_exchanges, args=(listener, ke_port, log_file), daemon=True).start()
    with open(ready_file, "w") as ready:
        ready.write("ready\n")
    client = None
    while True:
        ready, _, _ = select.select([near, far], [], [])
        if near in ready:
            request, client = near.recvfrom(4096)
            log(log_file, "request " + request.hex())
            far.sendto(request, ("127.0.0.1", ntp_port))
        if far in ready:
            answer, _ = far.recvfrom(4096)
            log(log_file, "answer " + answer.hex())
            if client is not None:
                near.sendto(changed(answer, change_file), client)


if __name__ == "__main__":
    main()
