# A stand-in for the office's system shell execute service, installed only
# in the test's private profile: it opens nothing and appends each request
# (address, parameters, flags) to the file VARNOKE_SHELL_RECORD names.
import os

import unohelper
from com.sun.star.lang import XServiceInfo
from com.sun.star.system import XSystemShellExecute

IMPLEMENTATION = "varnoke.test.ShellRecorder"
SERVICE = "com.sun.star.system.SystemShellExecute"


class ShellRecorder(unohelper.Base, XSystemShellExecute, XServiceInfo):
    def __init__(self, context):
        pass

    def execute(self, command, parameters, flags):
        with open(os.environ["VARNOKE_SHELL_RECORD"], "a", encoding="utf-8") as f:
            f.write(f"{command}\t{parameters}\t{flags}\n")

    def getImplementationName(self):
        return IMPLEMENTATION

    def supportsService(self, name):
        return name == SERVICE

    def getSupportedServiceNames(self):
        return (SERVICE,)


g_ImplementationHelper = unohelper.ImplementationHelper()
g_ImplementationHelper.addImplementation(ShellRecorder, IMPLEMENTATION, (SERVICE,))
