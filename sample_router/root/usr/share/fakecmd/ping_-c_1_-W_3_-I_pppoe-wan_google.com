PING google.com (142.250.74.46): 56 data bytes
64 bytes from 142.250.74.46: seq=0 ttl=116 time=24.906 ms

--- google.com ping statistics ---
1 packets transmitted, 1 packets received, 0% packet loss
round-trip min/avg/max = 24.906/24.906/24.906 ms
