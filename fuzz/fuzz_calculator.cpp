// The expression calculator: any text is a result or a myexception, never a crash or a hang.
// Lines of the input are evaluated one after another on one calculator, so that variables
// assigned by one line are read by the next.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/WideText.h"
#include "common/myexception.h"
#include "definition/Calculator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
    Calculator<double> calculator;
    calculator.DefineVariable(L"x", 0.5, L"0.5");
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        try {
            calculator.Calculate(text.substr(start, end - start));
        } catch (const myexception&) {
            // a refused expression is an answer too
        }
        start = end + 1;
    }
    return 0;
}
