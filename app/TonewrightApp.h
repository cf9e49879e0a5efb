// The application object: it runs the main dialog and nothing else.
#pragma once

class CTonewrightApp {
public:
    // Runs the dialog modally and returns false: the program ends with it.
    bool InitInstance();
};
