Server:		127.0.0.1
Address:	127.0.0.1:53

Non-authoritative answer:
Name:	instagram.com
Address: 2a03:2880:f12f:83:face:b00c:0:25de

Name:	instagram.com
Address: 157.240.205.174

