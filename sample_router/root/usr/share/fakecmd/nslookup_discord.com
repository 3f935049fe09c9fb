Server:		127.0.0.1
Address:	127.0.0.1:53

** server can't find discord.com: NXDOMAIN

