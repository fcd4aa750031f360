#pragma once

#include <string>

// A transport component. Each one holds a reference on the socket layer for
// its whole life. While it is being loaded (configured before use), some
// property writes are only stored and applied by Loaded.
class TIdComponent {
public:
    explicit TIdComponent(std::string name);
    virtual ~TIdComponent();
    TIdComponent(const TIdComponent&) = delete;
    TIdComponent& operator=(const TIdComponent&) = delete;

    const std::string& Name() const { return name_; }

    void BeginLoading() { loading_ = true; }
    // Ends loading and applies what was stored meanwhile.
    virtual void Loaded() { loading_ = false; }
    bool IsLoading() const { return loading_; }

private:
    std::string name_;
    bool loading_ = false;
};
