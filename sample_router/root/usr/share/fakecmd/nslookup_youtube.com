Server:		127.0.0.1
Address:	127.0.0.1:53

Non-authoritative answer:
Name:	youtube.com
Address: 142.250.74.46

