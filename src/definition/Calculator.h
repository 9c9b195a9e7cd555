#pragma once
// Evaluates one arithmetic expression of a definition file and returns the result as
// text. A hand-written scanner turns the text into tokens; an operator-precedence
// (shunting-yard) pass evaluates them with an operand stack and an operator stack.
// Operators and functions are objects in a table keyed by symbol or name.

#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/myexception.h"

/// Instantiated for double only (Calculator.cpp).
template <typename T> class Calculator {
public:
    class syntax_error : public myexception {
    public:
        syntax_error() : myexception(L"Syntax error.") {}
    };
    class over_flow : public myexception {
    public:
        over_flow() : myexception(L"Overflow.") {}
    };
    class illegal_error : public myexception {
    public:
        illegal_error() : myexception(L"Illegal error.") {}
    };
    class division_by_zero : public myexception {
    public:
        division_by_zero() : myexception(L"Division by zero.") {}
    };

    /// One lexical unit.
    struct Token {
        enum Kind { kNumber = 0, kOperator = 1, kName = 2 };

        /// The operator character or the name as written; empty for a number.
        std::wstring text;
        /// The number's value; for a name that is a variable, the variable's value.
        T value = 0;
        /// kNumber also for every intermediate result.
        int kind = kNumber;
    };

    /// An operator or a function of the table.
    class Function {
    public:
        explicit Function(Calculator* owner) : owner_(owner) {}
        virtual ~Function() = default;
        virtual int priority() const = 0;
        /// Number of operands taken from the operand stack.
        virtual int arity() const = 0;
        /// operands holds arity() tokens, the left operand first.
        virtual T evaluate(std::span<const Token> operands) const = 0;

    protected:
        Calculator* owner_; // not owned: the calculator owns this object
    };

    /// Fills the function table and the escape table; defines no variable.
    Calculator();
    ~Calculator();
    Calculator(const Calculator&) = delete;
    Calculator& operator=(const Calculator&) = delete;

    /// Creates the variable or replaces its value and text.
    void DefineVariable(const std::wstring& name, T value, const std::wstring& text);
    /// Forgets every variable, as a new calculator has none; the tables stay.
    void ClearVariables() { variables_.clear(); }

    /// Evaluates the expression and formats the result with "%g". Throws syntax_error,
    /// over_flow, illegal_error or division_by_zero; the calculator stays usable, and
    /// variables (including those assigned with "=") persist between calls.
    std::wstring Calculate(const std::wstring& expression);

    /// Reads a base-10 number from the start of text the way the scanner reads number
    /// literals (digits, one ".", an optional exponent) and ignores whatever follows;
    /// text that does not start with a number reads as 0, and "0x" selects no other base
    /// ("0x6E" reads as 0). The result may be infinite.
    static T ReadDecimal(const std::wstring& text);

    /// "%g" in the "C" locale, whatever the process locale is.
    static std::wstring FormatResult(T value);

private:
    struct Variable {
        T value;
        std::wstring text;
    };

    class FunctionPlus;
    class FunctionMinus;
    class FunctionMultiple;
    class FunctionDivision;
    class FunctionModulus;
    class FunctionTilda;
    class FunctionAnd;
    class FunctionOr;
    class FunctionXor;
    class FunctionLParen;
    class FunctionRParen;
    class FunctionComma;
    class FunctionEqual;
    class FunctionAbs;
    class FunctionAcos;
    class FunctionAsin;
    class FunctionAtan;
    class FunctionCeil;
    class FunctionCos;
    class FunctionCosh;
    class FunctionExp;
    class FunctionFabs;
    class FunctionFloor;
    class FunctionLog;
    class FunctionLog10;
    class FunctionPow;
    class FunctionSin;
    class FunctionSinh;
    class FunctionSqrt;
    class FunctionTan;
    class FunctionTanh;

    // scanner
    void Advance();
    void ReadToken();
    void ReadNumber();
    void ReadCharacter();
    void ReadName();

    // evaluation
    T Evaluate();
    void ProcessOperator(const Function& function);
    void Apply(const Function& function);
    const Function* FindFunction(const std::wstring& text) const;

    std::map<std::wstring, Variable> variables_;
    std::map<std::wstring, std::unique_ptr<Function>> functions_;
    std::map<wchar_t, wchar_t> escapes_;
    // entries of functions_ that the evaluation recognises by identity
    const Function* leftParen_ = nullptr;
    const Function* rightParen_ = nullptr;
    const Function* comma_ = nullptr;

    bool end_ = false;
    std::wstring expression_;
    std::size_t position_ = 0;
    wchar_t current_ = 0;
    std::vector<Token> tokens_;
    std::vector<Token> operands_;
    // the operator stack holds the table's entries of the pending operator tokens
    std::vector<const Function*> operators_;
};

extern template class Calculator<double>;
