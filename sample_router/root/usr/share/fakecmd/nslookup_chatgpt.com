Server:		127.0.0.1
Address:	127.0.0.1:53

Non-authoritative answer:
Name:	chatgpt.com
Address: 104.18.32.47

