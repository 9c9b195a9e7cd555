#include "definition/Calculator.h"

#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// bound on the written exponent: far beyond any finite double, small enough that the
// decimal exponent counter cannot overflow
constexpr std::int64_t kExponentLimit = 1000000;

/// Character of text at index, 0 past the end (the scanner's view of the end).
wchar_t CharAt(const std::wstring& text, std::size_t index) {
    return index < text.size() ? text[index] : 0;
}

bool IsDecimalDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

int HexDigitValue(wchar_t c) {
    if (IsDecimalDigit(c)) {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

bool IsNameStart(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_';
}

bool IsNameContinuation(wchar_t c) {
    return IsNameStart(c) || IsDecimalDigit(c);
}

bool IsOperatorCharacter(wchar_t c) {
    switch (c) {
    case L'+':
    case L'-':
    case L'*':
    case L'/':
    case L'%':
    case L'(':
    case L')':
    case L'~':
    case L'&':
    case L'^':
    case L'|':
    case L',':
    case L'=':
        return true;
    default:
        return false;
    }
}

/// Reads a number literal (not a character literal) starting at index and moves index
/// past it. Sets secondPoint and stops when a decimal number holds a second ".". A
/// leading "0x" selects hexadecimal only where allowHex is set.
template <typename T>
T ReadNumberAt(const std::wstring& text, std::size_t& index, bool& secondPoint, bool allowHex) {
    secondPoint = false;

    // base: a leading "0x" (lower case only) selects hexadecimal
    int base = 10;
    if (allowHex && CharAt(text, index) == L'0') {
        ++index;
        if (CharAt(text, index) == L'x') {
            base = 16;
            ++index;
        }
    }

    // digits, with a decimal exponent counter lowered for each digit after the point
    T value = 0;
    std::int64_t counter = 0;
    bool point = false;
    for (;;) {
        const wchar_t c = CharAt(text, index);
        int digit;
        if (base == 10 && c == L'.') {
            if (point) {
                secondPoint = true;
                break;
            }
            point = true;
            ++index;
            continue;
        }
        if (base == 10) {
            digit = IsDecimalDigit(c) ? c - L'0' : -1;
        } else {
            digit = HexDigitValue(c);
        }
        if (digit < 0) {
            break;
        }
        // a digit that would carry the accumulated value past the largest double is
        // dropped: in the integer part it still scales the value by the base, in the
        // fraction it is far below the value's precision
        const T next = value * base + digit;
        if (std::isfinite(next)) {
            value = next;
            if (point) {
                --counter;
            }
        } else if (!point) {
            ++counter;
        }
        ++index;
    }

    // decimal exponent: "e" or "E", an optional sign, decimal digits
    if (base == 10 && (CharAt(text, index) == L'e' || CharAt(text, index) == L'E')) {
        ++index;
        std::int64_t sign = 1;
        if (CharAt(text, index) == L'-' || CharAt(text, index) == L'+') {
            sign = CharAt(text, index) == L'-' ? -1 : 1;
            ++index;
        }
        std::int64_t exponent = 0;
        while (IsDecimalDigit(CharAt(text, index))) {
            exponent = std::min<std::int64_t>(exponent * 10 + (CharAt(text, index) - L'0'), kExponentLimit);
            ++index;
        }
        counter += sign * exponent;
    }

    // scale by the base; once the value is 0 or infinite further steps change nothing,
    // which also bounds the loop for absurd exponents
    while (counter != 0 && value != 0 && std::isfinite(value)) {
        if (counter > 0) {
            value *= base;
            --counter;
        } else {
            value /= base;
            ++counter;
        }
    }
    return value;
}

} // namespace

// ---------------------------------------------------------------------------------------
// the function table

namespace {

/// Supplies priority and arity of a table entry.
template <typename Base, int Priority, int Arity> class FixedFunction : public Base {
public:
    using Base::Base;
    int priority() const override { return Priority; }
    int arity() const override { return Arity; }
};

/// Truncates toward zero to a 32-bit signed integer; values that do not fit are an
/// overflow (the conversion would otherwise be undefined).
template <typename Calc, typename T> std::int32_t ToInt32(T value) {
    const T truncated = std::trunc(value);
    if (!(truncated >= static_cast<T>(std::numeric_limits<std::int32_t>::min()) &&
          truncated <= static_cast<T>(std::numeric_limits<std::int32_t>::max()))) {
        throw typename Calc::over_flow();
    }
    return static_cast<std::int32_t>(truncated);
}

} // namespace

#define KIVARO_CALCULATOR_FUNCTION(Name, Priority, Arity, ...)                                               \
    template <typename T>                                                                                    \
    class Calculator<T>::Name final                                                                          \
        : public FixedFunction<typename Calculator<T>::Function, Priority, Arity> {                          \
    public:                                                                                                  \
        using FixedFunction<typename Calculator<T>::Function, Priority, Arity>::FixedFunction;               \
        T evaluate([[maybe_unused]] std::span<const Token> operands) const override __VA_ARGS__              \
    };

// clang-format off
KIVARO_CALCULATOR_FUNCTION(FunctionPlus, 5, 2, { return operands[0].value + operands[1].value; })
KIVARO_CALCULATOR_FUNCTION(FunctionMinus, 5, 2, { return operands[0].value - operands[1].value; })
KIVARO_CALCULATOR_FUNCTION(FunctionMultiple, 7, 2, { return operands[0].value * operands[1].value; })
KIVARO_CALCULATOR_FUNCTION(FunctionDivision, 7, 2, {
    if (operands[1].value == 0.0) {
        throw division_by_zero();
    }
    return operands[0].value / operands[1].value;
})
KIVARO_CALCULATOR_FUNCTION(FunctionModulus, 6, 2, {
    const std::int32_t left = ToInt32<Calculator<T>>(operands[0].value);
    const std::int32_t right = ToInt32<Calculator<T>>(operands[1].value);
    if (right == 0) {
        throw division_by_zero();
    }
    // the smallest integer modulo -1 traps in hardware; its remainder is 0
    return right == -1 ? 0 : left % right;
})
KIVARO_CALCULATOR_FUNCTION(FunctionTilda, 8, 1, { return ~ToInt32<Calculator<T>>(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionAnd, 4, 2, {
    return ToInt32<Calculator<T>>(operands[0].value) & ToInt32<Calculator<T>>(operands[1].value);
})
KIVARO_CALCULATOR_FUNCTION(FunctionOr, 4, 2, {
    return ToInt32<Calculator<T>>(operands[0].value) | ToInt32<Calculator<T>>(operands[1].value);
})
KIVARO_CALCULATOR_FUNCTION(FunctionXor, 4, 2, {
    return ToInt32<Calculator<T>>(operands[0].value) ^ ToInt32<Calculator<T>>(operands[1].value);
})
KIVARO_CALCULATOR_FUNCTION(FunctionLParen, 11, 0, { return 0.0; })
KIVARO_CALCULATOR_FUNCTION(FunctionRParen, 1, 1, { return 0.0; })
KIVARO_CALCULATOR_FUNCTION(FunctionComma, 3, 0, { return 0.0; })
KIVARO_CALCULATOR_FUNCTION(FunctionEqual, 2, 2, {
    if (operands[0].kind != Token::kName) {
        throw syntax_error();
    }
    auto variable = this->owner_->variables_.find(operands[0].text);
    assert(variable != this->owner_->variables_.end()); // only defined names reach the operand stack
    variable->second = Variable{operands[1].value, std::wstring()};
    return operands[1].value;
})
KIVARO_CALCULATOR_FUNCTION(FunctionAbs, 9, 1, { return std::fabs(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionAcos, 9, 1, { return std::acos(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionAsin, 9, 1, { return std::asin(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionAtan, 9, 1, { return std::atan(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionCeil, 9, 1, { return std::ceil(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionCos, 9, 1, { return std::cos(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionCosh, 9, 1, { return std::cosh(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionExp, 9, 1, { return std::exp(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionFabs, 9, 1, { return std::fabs(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionFloor, 9, 1, { return std::floor(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionLog, 9, 1, { return std::log(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionLog10, 9, 1, {
    if (operands[0].value == 0.0) {
        throw illegal_error();
    }
    return std::log10(operands[0].value);
})
KIVARO_CALCULATOR_FUNCTION(FunctionPow, 9, 2, { return std::pow(operands[0].value, operands[1].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionSin, 9, 1, { return std::sin(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionSinh, 9, 1, { return std::sinh(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionSqrt, 9, 1, { return std::sqrt(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionTan, 9, 1, { return std::tan(operands[0].value); })
KIVARO_CALCULATOR_FUNCTION(FunctionTanh, 9, 1, { return std::tanh(operands[0].value); })
// clang-format on

#undef KIVARO_CALCULATOR_FUNCTION

template <typename T> Calculator<T>::Calculator() {
    // the function table, in its fixed order
    auto add = [this](const wchar_t* name, std::unique_ptr<Function> function) {
        const Function* entry = function.get();
        functions_.emplace(name, std::move(function));
        return entry;
    };
    add(L"+", std::make_unique<FunctionPlus>(this));
    add(L"-", std::make_unique<FunctionMinus>(this));
    add(L"*", std::make_unique<FunctionMultiple>(this));
    add(L"/", std::make_unique<FunctionDivision>(this));
    add(L"%", std::make_unique<FunctionModulus>(this));
    add(L"~", std::make_unique<FunctionTilda>(this));
    add(L"&", std::make_unique<FunctionAnd>(this));
    add(L"|", std::make_unique<FunctionOr>(this));
    add(L"^", std::make_unique<FunctionXor>(this));
    leftParen_ = add(L"(", std::make_unique<FunctionLParen>(this));
    rightParen_ = add(L")", std::make_unique<FunctionRParen>(this));
    comma_ = add(L",", std::make_unique<FunctionComma>(this));
    add(L"=", std::make_unique<FunctionEqual>(this));
    add(L"abs", std::make_unique<FunctionAbs>(this));
    add(L"acos", std::make_unique<FunctionAcos>(this));
    add(L"asin", std::make_unique<FunctionAsin>(this));
    add(L"atan", std::make_unique<FunctionAtan>(this));
    add(L"ceil", std::make_unique<FunctionCeil>(this));
    add(L"cos", std::make_unique<FunctionCos>(this));
    add(L"cosh", std::make_unique<FunctionCosh>(this));
    add(L"exp", std::make_unique<FunctionExp>(this));
    add(L"fabs", std::make_unique<FunctionFabs>(this));
    add(L"floor", std::make_unique<FunctionFloor>(this));
    add(L"log", std::make_unique<FunctionLog>(this));
    add(L"log10", std::make_unique<FunctionLog10>(this));
    add(L"pow", std::make_unique<FunctionPow>(this));
    add(L"sin", std::make_unique<FunctionSin>(this));
    add(L"sinh", std::make_unique<FunctionSinh>(this));
    add(L"sqrt", std::make_unique<FunctionSqrt>(this));
    add(L"tan", std::make_unique<FunctionTan>(this));
    add(L"tanh", std::make_unique<FunctionTanh>(this));

    // the escapes of character literals
    escapes_ = {{L'a', 7},  {L'b', 8},  {L'f', 12},  {L'n', 10}, {L'r', 13},  {L't', 9},
                {L'v', 11}, {L'?', 63}, {L'\'', 39}, {L'"', 34}, {L'\\', 92}, {L'0', 0}};
}

template <typename T> Calculator<T>::~Calculator() = default;

template <typename T>
void Calculator<T>::DefineVariable(const std::wstring& name, T value, const std::wstring& text) {
    variables_.insert_or_assign(name, Variable{value, text});
}

template <typename T> std::wstring Calculator<T>::Calculate(const std::wstring& expression) {
    end_ = false;
    expression_ = expression;
    position_ = 0;
    tokens_.clear();

    // a leading sign becomes an addition to or a subtraction from zero
    if (!expression_.empty() && (expression_[0] == L'+' || expression_[0] == L'-')) {
        tokens_.push_back(Token{std::wstring(), 0, Token::kNumber});
    }

    // scan: one token, then blanks and tabs (leading blanks are a syntax error)
    Advance();
    while (!end_) {
        ReadToken();
        while (!end_ && (current_ == L' ' || current_ == L'\t')) {
            Advance();
        }
    }

    return FormatResult(Evaluate());
}

template <typename T> T Calculator<T>::ReadDecimal(const std::wstring& text) {
    if (text.empty() || !(IsDecimalDigit(text[0]) || text[0] == L'.')) {
        return 0;
    }
    std::size_t index = 0;
    bool secondPoint = false;
    return ReadNumberAt<T>(text, index, secondPoint, false);
}

template <typename T> std::wstring Calculator<T>::FormatResult(T value) {
    // "%g" into a 1024-character buffer; to_chars with a precision is printf's "%.6g"
    // in the "C" locale, so a process locale with a decimal comma cannot leak in
    char buffer[1024];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 6);
    assert(result.ec == std::errc());
    return std::wstring(buffer, result.ptr);
}

// ---------------------------------------------------------------------------------------
// scanner

template <typename T> void Calculator<T>::Advance() {
    if (position_ >= expression_.size()) {
        end_ = true;
        current_ = 0;
    } else {
        current_ = expression_[position_++];
    }
}

template <typename T> void Calculator<T>::ReadToken() {
    const wchar_t c = current_;
    if (IsDecimalDigit(c) || c == L'.' || c == L'\'') {
        ReadNumber();
    } else if (!end_ && IsOperatorCharacter(c)) {
        tokens_.push_back(Token{std::wstring(1, c), 0, Token::kOperator});
        Advance();
        // "(-x" reads as "(0-x"
        if (c == L'(' && (current_ == L'+' || current_ == L'-')) {
            tokens_.push_back(Token{std::wstring(), 0, Token::kNumber});
        }
    } else if (IsNameStart(c)) {
        ReadName();
    } else {
        throw syntax_error();
    }
}

template <typename T> void Calculator<T>::ReadNumber() {
    if (current_ == L'\'') {
        ReadCharacter();
        return;
    }
    // the current character sits just before position_
    std::size_t index = position_ - 1;
    bool secondPoint = false;
    const T value = ReadNumberAt<T>(expression_, index, secondPoint, true);
    if (secondPoint) {
        throw syntax_error();
    }
    if (!std::isfinite(value)) {
        throw over_flow();
    }
    position_ = index;
    Advance();
    tokens_.push_back(Token{std::wstring(), value, Token::kNumber});
}

template <typename T> void Calculator<T>::ReadCharacter() {
    Advance();
    wchar_t code;
    if (current_ == L'\\') {
        Advance();
        const auto escape = escapes_.find(current_);
        if (end_ || escape == escapes_.end()) {
            throw illegal_error();
        }
        code = escape->second;
    } else {
        code = current_;
    }
    Advance();
    if (current_ != L'\'') {
        throw syntax_error();
    }
    Advance();
    tokens_.push_back(Token{std::wstring(), static_cast<T>(code), Token::kNumber});
}

template <typename T> void Calculator<T>::ReadName() {
    const std::size_t start = position_ - 1;
    while (!end_ && IsNameContinuation(current_)) {
        Advance();
    }
    const std::size_t length = (end_ ? expression_.size() : position_ - 1) - start;
    tokens_.push_back(Token{expression_.substr(start, length), 0, Token::kName});
}

// ---------------------------------------------------------------------------------------
// evaluation

template <typename T>
const typename Calculator<T>::Function* Calculator<T>::FindFunction(const std::wstring& text) const {
    const auto entry = functions_.find(text);
    return entry == functions_.end() ? nullptr : entry->second.get();
}

template <typename T> T Calculator<T>::Evaluate() {
    operands_.clear();
    operators_.clear();

    // the parentheses must balance
    int open = 0;
    int close = 0;
    for (const Token& token : tokens_) {
        if (token.kind == Token::kOperator) {
            open += token.text[0] == L'(';
            close += token.text[0] == L')';
        }
    }
    if (open != close) {
        throw syntax_error();
    }

    // numbers and variables to the operand stack, operators through the operator stack
    for (const Token& token : tokens_) {
        if (token.kind == Token::kNumber) {
            operands_.push_back(token);
            continue;
        }
        const Function* function = FindFunction(token.text);
        if (function != nullptr) {
            ProcessOperator(*function);
            continue;
        }
        if (token.kind == Token::kName) {
            const auto variable = variables_.find(token.text);
            if (variable != variables_.end()) {
                operands_.push_back(Token{token.text, variable->second.value, Token::kName});
                continue;
            }
        }
        throw syntax_error();
    }
    while (!operators_.empty()) {
        const Function* function = operators_.back();
        assert(function != leftParen_); // the parentheses balance
        operators_.pop_back();
        Apply(*function);
    }

    if (operands_.size() != 1) {
        throw syntax_error();
    }
    // a variable may hold what no calculation yields
    const T result = operands_.front().value;
    if (std::isnan(result)) {
        throw illegal_error();
    }
    if (std::isinf(result)) {
        throw over_flow();
    }
    return result;
}

template <typename T> void Calculator<T>::ProcessOperator(const Function& function) {
    // apply the pending operators that bind at least as strongly (left-associative)
    while (!operators_.empty() && operators_.back() != leftParen_ &&
           operators_.back()->priority() >= function.priority()) {
        const Function* pending = operators_.back();
        operators_.pop_back();
        Apply(*pending);
    }
    if (&function != rightParen_) {
        operators_.push_back(&function);
        return;
    }
    // ")" discards its "("
    if (operators_.empty()) {
        throw syntax_error();
    }
    assert(operators_.back() == leftParen_);
    operators_.pop_back();
}

template <typename T> void Calculator<T>::Apply(const Function& function) {
    // a comma only separates arguments: they stay on the operand stack
    if (&function == comma_) {
        if (operands_.empty()) {
            throw syntax_error();
        }
        return;
    }

    const std::size_t arity = static_cast<std::size_t>(function.arity());
    if (operands_.size() < arity) {
        throw syntax_error();
    }
    errno = 0;
    const T result =
        function.evaluate(std::span<const Token>(operands_.data() + operands_.size() - arity, arity));
    const int error = errno;

    // domain errors and results that are not numbers; range errors that overflow (an
    // underflow to a tiny or zero result is a usable value and passes)
    if (error == EDOM || std::isnan(result)) {
        throw illegal_error();
    }
    if (std::isinf(result)) {
        throw over_flow();
    }
    operands_.resize(operands_.size() - arity);
    operands_.push_back(Token{std::wstring(), result, Token::kNumber});
}

template class Calculator<double>;
