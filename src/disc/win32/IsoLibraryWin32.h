#pragma once
// libisofs' process-wide state on Windows: the first user starts it, the last one ends it.
namespace qob::disc {

class IsoLibrary {
public:
    IsoLibrary();
    ~IsoLibrary();
    IsoLibrary(const IsoLibrary&) = delete;
    IsoLibrary& operator=(const IsoLibrary&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

} // namespace qob::disc
