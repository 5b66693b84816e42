#!/usr/bin/env python3
# Writes a capture file (pcap) of one HTTP page visit of terminal 192.168.1.50: the handshake,
# "GET /index.html" to www.example.com and an HTML answer titled "Package test page", so that
# the monitor's replay (-r) writes one browse log row.
import struct, sys, time

def csum(data):
    if len(data) % 2:
        data += b'\0'
    s = sum(struct.unpack('!%dH' % (len(data) // 2), data))
    s = (s >> 16) + (s & 0xffff)
    s += s >> 16
    return ~s & 0xffff

def packet(src, dst, sport, dport, seq, ack, flags, payload=b''):
    ip_src, ip_dst = bytes(map(int, src.split('.'))), bytes(map(int, dst.split('.')))
    tcp = struct.pack('!HHIIBBHHH', sport, dport, seq, ack, 5 << 4, flags, 65535, 0, 0) + payload
    pseudo = ip_src + ip_dst + struct.pack('!BBH', 0, 6, len(tcp))
    tcp = tcp[:16] + struct.pack('!H', csum(pseudo + tcp)) + tcp[18:]
    ip = struct.pack('!BBHHHBBH4s4s', 0x45, 0, 20 + len(tcp), 1, 0, 64, 6, 0, ip_src, ip_dst)
    ip = ip[:10] + struct.pack('!H', csum(ip)) + ip[12:]
    return b'\x02\0\0\0\0\x02' + b'\x02\0\0\0\0\x01' + b'\x08\x00' + ip + tcp

client, server, cport = '192.168.1.50', '93.184.216.34', 40000
request = b'GET /index.html HTTP/1.1\r\nHost: www.example.com\r\nUser-Agent: test\r\n\r\n'
body = b'<html><head><title>Package test page</title></head><body>hello</body></html>'
answer = (b'HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: %d\r\n'
          b'Connection: close\r\n\r\n' % len(body)) + body
c, s = 1000, 5000
frames = [
    packet(client, server, cport, 80, c, 0, 0x02),
    packet(server, client, 80, cport, s, c + 1, 0x12),
    packet(client, server, cport, 80, c + 1, s + 1, 0x10),
    packet(client, server, cport, 80, c + 1, s + 1, 0x18, request),
    packet(server, client, 80, cport, s + 1, c + 1 + len(request), 0x18, answer),
    packet(server, client, 80, cport, s + 1 + len(answer), c + 1 + len(request), 0x11),
    packet(client, server, cport, 80, c + 1 + len(request), s + 2 + len(answer), 0x11),
]
with open(sys.argv[1], 'wb') as f:
    f.write(struct.pack('<IHHiIII', 0xa1b2c3d4, 2, 4, 0, 0, 65535, 1))
    t = int(time.time())
    for i, frame in enumerate(frames):
        f.write(struct.pack('<IIII', t, i * 1000, len(frame), len(frame)) + frame)
