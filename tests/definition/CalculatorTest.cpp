#include "definition/Calculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace {

using Calc = Calculator<double>;

/// The C library's own "%g" text of a value.
std::wstring PrintfG(double value) {
    char buffer[1024];
    std::snprintf(buffer, sizeof(buffer), "%g", value);
    return std::wstring(buffer, buffer + std::char_traits<char>::length(buffer));
}

/// The exception message of a failing calculation, or "" when it succeeds.
std::wstring FailureOf(Calc& calculator, const std::wstring& expression) {
    try {
        calculator.Calculate(expression);
    } catch (const myexception& error) {
        return error.message();
    }
    return std::wstring();
}

const std::wstring kSyntax = L"Syntax error.";
const std::wstring kOverflow = L"Overflow.";
const std::wstring kIllegal = L"Illegal error.";
const std::wstring kDivision = L"Division by zero.";

TEST(CalculatorTest, OperatorsBindByTheirPriorities) {
    Calc calc;
    EXPECT_EQ(calc.Calculate(L"1+2*3"), L"7");
    EXPECT_EQ(calc.Calculate(L"(1+2)*3"), L"9");
    EXPECT_EQ(calc.Calculate(L"7%3*2"), L"1"); // "%" is weaker than "*"
    EXPECT_EQ(calc.Calculate(L"1+7%3"), L"2"); // and stronger than "+"
    EXPECT_EQ(calc.Calculate(L"1+2&3"), L"3"); // "&" is weaker than "+"
    EXPECT_EQ(calc.Calculate(L"2^3"), L"1");   // exclusive or, not a power
    EXPECT_EQ(calc.Calculate(L"pow(2,3)"), L"8");
    EXPECT_EQ(calc.Calculate(L"pow(2,3)*2"), L"16");
    EXPECT_EQ(calc.Calculate(L"8-2-3"), L"3"); // left-associative
    EXPECT_EQ(calc.Calculate(L"16/4/2"), L"2");
    EXPECT_EQ(calc.Calculate(L"5|2&3"), L"3"); // equal priority, left to right: (5|2)&3
}

TEST(CalculatorTest, LeadingSignsBecomeOperationsOnZero) {
    Calc calc;
    EXPECT_EQ(calc.Calculate(L"-5+2"), L"-3");
    EXPECT_EQ(calc.Calculate(L"+5"), L"5");
    EXPECT_EQ(calc.Calculate(L"(-5)"), L"-5");
    EXPECT_EQ(calc.Calculate(L"(+2)*3"), L"6");
    EXPECT_EQ(calc.Calculate(L"abs(-3)"), L"3");
    EXPECT_EQ(calc.Calculate(L"-7%2"), L"-1");
    // no zero after another operator, after "," or after "(" and a blank
    EXPECT_EQ(FailureOf(calc, L"2*-3"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"pow(2,-1)"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"( -5)"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"-"), kSyntax);
}

TEST(CalculatorTest, IntegerOperatorsTruncateToThirtyTwoBits) {
    Calc calc;
    EXPECT_EQ(calc.Calculate(L"7.5%2"), L"1");
    EXPECT_EQ(calc.Calculate(L"~0"), L"-1");
    EXPECT_EQ(calc.Calculate(L"~5.9"), L"-6");
    EXPECT_EQ(calc.Calculate(L"6&3"), L"2");
    EXPECT_EQ(calc.Calculate(L"6|3"), L"7");
    EXPECT_EQ(calc.Calculate(L"2147483647|0"), L"2.14748e+09");
    EXPECT_EQ(FailureOf(calc, L"5%0"), kDivision);
    EXPECT_EQ(FailureOf(calc, L"5%0.5"), kDivision);
    EXPECT_EQ(FailureOf(calc, L"1/0"), kDivision);
    // the smallest integer modulo -1 must not trap
    EXPECT_EQ(calc.Calculate(L"(0-2147483647-1)%(-1)"), L"0");
    // values beyond 32 bits have no integer to truncate to
    EXPECT_EQ(FailureOf(calc, L"4294967296%3"), kOverflow);
    EXPECT_EQ(FailureOf(calc, L"~2147483648"), kOverflow);
    EXPECT_EQ(FailureOf(calc, L"1e300&1"), kOverflow);
}

TEST(CalculatorTest, NumberAndCharacterLiterals) {
    Calc calc;
    EXPECT_EQ(calc.Calculate(L"0x1F"), L"31");
    EXPECT_EQ(calc.Calculate(L"0xff"), L"255");
    EXPECT_EQ(FailureOf(calc, L"0X1F"), kSyntax); // only a lower-case x selects base 16
    EXPECT_EQ(calc.Calculate(L"0x"), L"0");
    EXPECT_EQ(calc.Calculate(L"0123"), L"123");
    EXPECT_EQ(calc.Calculate(L"1.5e2"), L"150");
    EXPECT_EQ(calc.Calculate(L"2E+2"), L"200");
    EXPECT_EQ(calc.Calculate(L"1e-3"), L"0.001");
    EXPECT_EQ(calc.Calculate(L".5"), L"0.5");
    EXPECT_EQ(calc.Calculate(L"1e-400"), L"0");
    EXPECT_EQ(FailureOf(calc, L"1.2.3"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"1e400"), kOverflow);
    EXPECT_EQ(FailureOf(calc, L"1e99999999999999999999"), kOverflow);
    EXPECT_EQ(FailureOf(calc, L"0x" + std::wstring(300, L'f')), kOverflow);
    // more digits than a double can accumulate, for a value well inside its range
    EXPECT_EQ(calc.Calculate(L"0." + std::wstring(400, L'3')), L"0.333333");
    EXPECT_EQ(calc.Calculate(L"1" + std::wstring(400, L'0') + L"e-395"), L"100000");
    EXPECT_EQ(calc.Calculate(std::wstring(400, L'9') + L"e-398"), L"100");
    EXPECT_EQ(FailureOf(calc, L"1" + std::wstring(400, L'0')), kOverflow);
    EXPECT_NEAR(Calc::ReadDecimal(L"110." + std::wstring(400, L'1')), 110.111111111111, 1e-9);

    EXPECT_EQ(calc.Calculate(L"'a'"), L"97");
    EXPECT_EQ(calc.Calculate(L"'\\n'"), L"10");
    EXPECT_EQ(calc.Calculate(L"'\\0'"), L"0");
    EXPECT_EQ(calc.Calculate(L"'\\\\'"), L"92");
    EXPECT_EQ(calc.Calculate(L"'\\''"), L"39");
    EXPECT_EQ(calc.Calculate(L"'\\\"'"), L"34");
    EXPECT_EQ(calc.Calculate(L"'a'+1"), L"98");
    EXPECT_EQ(FailureOf(calc, L"'\\q'"), kIllegal);
    EXPECT_EQ(FailureOf(calc, L"'ab'"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"'a"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"'"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"'\\"), kIllegal);
}

TEST(CalculatorTest, FunctionsWithAndWithoutParentheses) {
    Calc calc;
    EXPECT_EQ(calc.Calculate(L"sin 1"), PrintfG(std::sin(1.0)));
    EXPECT_EQ(calc.Calculate(L"sin(1)"), PrintfG(std::sin(1.0)));
    EXPECT_EQ(calc.Calculate(L"sqrt 16+1"), L"5"); // a function binds more strongly than "+"
    EXPECT_EQ(calc.Calculate(L"2*sin(0)+1"), L"1");
    EXPECT_EQ(calc.Calculate(L"sin(sin(1))"), PrintfG(std::sin(std::sin(1.0))));
    EXPECT_EQ(calc.Calculate(L"pow(pow(2,2),1+1)"), L"16");
    EXPECT_EQ(calc.Calculate(L"log10(100)"), L"2");
    EXPECT_EQ(calc.Calculate(L"exp(1)"), PrintfG(std::exp(1.0)));
    EXPECT_EQ(calc.Calculate(L"atan(1)*4"), PrintfG(std::atan(1.0) * 4));
    EXPECT_EQ(calc.Calculate(L"floor(2.7)+ceil(2.2)"), L"5");
    EXPECT_EQ(calc.Calculate(L"fabs(-2)+abs(-3)"), L"5");
    EXPECT_EQ(calc.Calculate(L"cosh(1)-sinh(1)"), PrintfG(std::cosh(1.0) - std::sinh(1.0)));
    EXPECT_EQ(calc.Calculate(L"tanh(0.5)+tan(0.5)+cos(0.5)"),
              PrintfG(std::tanh(0.5) + std::tan(0.5) + std::cos(0.5)));
    EXPECT_EQ(calc.Calculate(L"acos(0.5)+asin(0.5)+log(2)"),
              PrintfG(std::acos(0.5) + std::asin(0.5) + std::log(2.0)));
    // a function directly after another has nothing to take
    EXPECT_EQ(FailureOf(calc, L"sin sin 1"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"sin"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"pow(2)"), kSyntax);
}

TEST(CalculatorTest, MathLibraryErrorsMapToOverflowAndIllegal) {
    Calc calc;
    EXPECT_EQ(FailureOf(calc, L"log10(0)"), kIllegal);
    EXPECT_EQ(FailureOf(calc, L"sqrt(-1)"), kIllegal);
    EXPECT_EQ(FailureOf(calc, L"acos(2)"), kIllegal);
    EXPECT_EQ(FailureOf(calc, L"log(0-1)"), kIllegal);
    EXPECT_EQ(FailureOf(calc, L"exp(1000)"), kOverflow);
    EXPECT_EQ(FailureOf(calc, L"cosh(1000)"), kOverflow);
    EXPECT_EQ(FailureOf(calc, L"log(0)"), kOverflow);
    // plain arithmetic that leaves the doubles is caught as well
    EXPECT_EQ(FailureOf(calc, L"1e308*10"), kOverflow);
    EXPECT_EQ(FailureOf(calc, L"1e308+1e308"), kOverflow);
    EXPECT_EQ(FailureOf(calc, L"1e300/1e-300"), kOverflow);
    // an underflow is a tiny value, not an overflow
    EXPECT_EQ(calc.Calculate(L"exp(0-1000)"), L"0");
}

TEST(CalculatorTest, MalformedExpressionsAreSyntaxErrors) {
    Calc calc;
    for (const wchar_t* expression : {L"", L" 1", L"1 2", L"foo", L"(1", L"1)", L")1(", L"(1))+((2)", L"1+",
                                      L"(,)", L"1,2", L"#", L"1+\u00e9", L"()", L"1=2"}) {
        EXPECT_EQ(FailureOf(calc, expression), kSyntax) << expression;
    }
    EXPECT_EQ(calc.Calculate(L"1 + 2"), L"3");
    EXPECT_EQ(calc.Calculate(L"1\t+\t2 "), L"3");
    EXPECT_EQ(calc.Calculate(L"( 1 + 2 ) * 3"), L"9");
    // the calculator stays usable after a failure
    EXPECT_EQ(FailureOf(calc, L"(1+"), kSyntax);
    EXPECT_EQ(calc.Calculate(L"1+1"), L"2");
}

TEST(CalculatorTest, VariablesAndAssignment) {
    Calc calc;
    calc.DefineVariable(L"PI", 3.141592653589793, L"");
    EXPECT_EQ(calc.Calculate(L"PI"), L"3.14159");
    EXPECT_EQ(calc.Calculate(L"1/3"), L"0.333333");
    EXPECT_EQ(calc.Calculate(L"PI/2"), PrintfG(3.141592653589793 / 2));

    calc.DefineVariable(L"a", 1, L"1");
    EXPECT_EQ(calc.Calculate(L"a=4"), L"4");
    EXPECT_EQ(calc.Calculate(L"a"), L"4"); // the assignment persists
    EXPECT_EQ(calc.Calculate(L"a*2"), L"8");
    EXPECT_EQ(calc.Calculate(L"(a=2)+a"), L"4");
    EXPECT_EQ(FailureOf(calc, L"b=4"), kSyntax); // assignment cannot create a variable
    EXPECT_EQ(FailureOf(calc, L"3=4"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"a=b=4"), kSyntax);
    calc.DefineVariable(L"a", 7, L"7");
    EXPECT_EQ(calc.Calculate(L"a"), L"7");

    calc.DefineVariable(L"_size2", 0.5, L"0.5");
    EXPECT_EQ(calc.Calculate(L"_size2*4"), L"2");
    // a function name is always the function
    calc.DefineVariable(L"sin", 5, L"5");
    EXPECT_EQ(FailureOf(calc, L"sin"), kSyntax);
    // a variable holding what no calculation yields is refused
    calc.DefineVariable(L"huge", HUGE_VAL, L"");
    EXPECT_EQ(FailureOf(calc, L"huge"), kOverflow);
    calc.DefineVariable(L"nan", std::nan(""), L"");
    EXPECT_EQ(FailureOf(calc, L"nan+1"), kIllegal);
}

TEST(CalculatorTest, ResultTextIsTheCLibraryGFormat) {
    Calc calc;
    EXPECT_EQ(calc.Calculate(L"100000"), PrintfG(100000));
    EXPECT_EQ(calc.Calculate(L"1000000"), PrintfG(1000000));
    EXPECT_EQ(calc.Calculate(L"0.0001"), PrintfG(0.0001));
    EXPECT_EQ(calc.Calculate(L"0.00001"), PrintfG(0.00001));
    EXPECT_EQ(calc.Calculate(L"123456789"), PrintfG(123456789));
    EXPECT_EQ(calc.Calculate(L"1/7"), PrintfG(1.0 / 7));
    EXPECT_EQ(calc.Calculate(L"0-2.5e30"), PrintfG(-2.5e30));
    EXPECT_EQ(calc.Calculate(L"0.1+0.2"), PrintfG(0.1 + 0.2));
    EXPECT_EQ(calc.Calculate(L"(0-1)*0"), PrintfG(-0.0));

    // random values over the whole exponent range
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-300, 300);
    for (int i = 0; i < 20000; ++i) {
        const double value = std::ldexp(mantissa(random), exponent(random));
        ASSERT_EQ(Calc::FormatResult(value), PrintfG(value)) << value;
    }
}

TEST(CalculatorTest, DecimalReaderReadsTheLeadingNumber) {
    EXPECT_EQ(Calc::ReadDecimal(L"110"), 110.0);
    EXPECT_EQ(std::trunc(Calc::ReadDecimal(L"110.9")), 110.0);
    EXPECT_EQ(Calc::ReadDecimal(L"1.5e2xyz"), 150.0);
    EXPECT_EQ(Calc::ReadDecimal(L"1.25.3"), 1.25);
    EXPECT_EQ(Calc::ReadDecimal(L"abc"), 0.0);
    EXPECT_EQ(Calc::ReadDecimal(L" 110"), 0.0);
    EXPECT_EQ(Calc::ReadDecimal(L""), 0.0);
    EXPECT_TRUE(std::isinf(Calc::ReadDecimal(L"1e400")));
    // base 10 only: a leading zero is a digit and "0x" is not hexadecimal here
    EXPECT_EQ(Calc::ReadDecimal(L"0110"), 110.0);
    EXPECT_EQ(Calc::ReadDecimal(L"0x6E"), 0.0);
    EXPECT_EQ(Calc::ReadDecimal(L"0x"), 0.0);
}

TEST(CalculatorTest, LongInputsFinishQuickly) {
    Calc calc;
    // a long sum and a deep nesting
    std::wstring sum = L"1";
    for (int i = 0; i < 100000; ++i) {
        sum += L"+1";
    }
    std::wstring nested = std::wstring(100000, L'(') + L"2" + std::wstring(100000, L')');
    EXPECT_EQ(calc.Calculate(sum), L"100001");
    EXPECT_EQ(calc.Calculate(nested), L"2");
    EXPECT_EQ(FailureOf(calc, std::wstring(100000, L'~') + L"1"), kSyntax);
    EXPECT_EQ(FailureOf(calc, L"1" + std::wstring(100000, L'.')), kSyntax);
}

} // namespace
