// gpi: the GPI monitor program. Starts the framework and runs the monitor dialog until it
// ends; with no display the dialog is worked from standard input (see CConsoleRunner.h).
#include "gpi/main/CConsoleRunner.h"
#include "gpi/main/CGpiDlg.h"

#include "Kest20/KestApplication.h"

#include <iostream>

int main()
{
    StartApplication("Net,Log,DSystem");
    {
        CConsoleRunner runner(std::cin, std::cout);
        CGpiDlg dialog;
        dialog.DoModal();
    }
    CloseApplication(0);
    return 0;
}
