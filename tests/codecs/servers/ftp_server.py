# An FTP server on 127.0.0.1 with one user, for the URL tests.
# Arguments: root folder, user, password. Prints the port.
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

root, user, password = sys.argv[1:4]
logging.disable(logging.CRITICAL)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elr")
FTPHandler.authorizer = authorizer
FTPHandler.auth_failed_timeout = 0
server = FTPServer(("127.0.0.1", 0), FTPHandler)
print(server.socket.getsockname()[1], flush=True)
server.serve_forever()
