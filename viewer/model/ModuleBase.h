#pragma once
// A slave node as the viewer's pages see it: its MAC ID, whether it is open, and the driver client
// through which its items talk to it. ModuleBase itself opens nothing; Module does.

#include <string>

namespace orv::viewer {

class DriverClient;

class ModuleBase {
public:
    ModuleBase() = default;
    ModuleBase(const ModuleBase&) = delete;
    ModuleBase& operator=(const ModuleBase&) = delete;
    virtual ~ModuleBase() = default;

    // Stores the address and the name "Module <address>". True.
    virtual bool SetAddress(int address);
    virtual bool Open(int flags);
    virtual bool Close();
    virtual bool RemoveAll();
    virtual DriverClient* GetDriver();
    virtual void SetDriver(DriverClient* driver);

    int Address() const { return address_; }
    bool IsOpen() const { return open_; }
    const std::string& Name() const { return name_; }

protected:
    int address_ = -1;
    bool open_ = false;
    std::string name_;
};

} // namespace orv::viewer
