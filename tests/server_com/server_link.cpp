#include "server_link.h"

std::string PrepareServer()
{
    if (!theServerWindow.IsRunning()) {
        RemoteObject starter(kDemoProgId);  // COM starts the server
        if (FAILED(starter.Created()))
            return "COM could not start QDSERVER";
    }
    if (!theServerWindow.Find(10000))
        return "no QDServer window";
    theServerWindow.SelectOwnThread(true);
    if (!theServerWindow.WaitForFreeBoard(3000))
        return "a bar is still held";
    return {};
}

int CloseServer()
{
    if (!theServerWindow.IsRunning())
        return 0;
    DWORD code = 0;
    theServerWindow.CloseAndWaitForExit(10000, &code);
    Sleep(3000);  // Wine's COM holds an ended server's class for a moment
    return static_cast<int>(code);
}
