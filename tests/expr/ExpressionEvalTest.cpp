#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "expr/ExpressionEval.h"

namespace fi {
namespace {

constexpr long double Inf = std::numeric_limits<long double>::infinity();

// The 80 significant bits of an extended value, to compare results bit for
// bit (both platforms must give the very same values).
std::string Bits(long double X) {
    unsigned char Bytes[10];
    std::memcpy(Bytes, &X, 10);
    static const char* Hex = "0123456789abcdef";
    std::string Result;
    for (int i = 9; i >= 0; --i) {
        Result += Hex[Bytes[i] >> 4];
        Result += Hex[Bytes[i] & 15];
    }
    return Result;
}

struct TErrorCase {
    const char* Text;
    const char* Message;
    std::int32_t Position;
};

// Runs against a private table, so definitions of one test do not leak into
// another; Global selects the module's table (undefined names are errors).
class ExpressionEvalTest : public ::testing::Test {
protected:
    TSymbolTable Table;

    long double Eval(const std::string& Text, bool ValueRequired = true) {
        return EvaluateExpression(Text, &Table, ValueRequired);
    }

    void ExpectError(const TErrorCase& Case, TSymbolTable* In) {
        SCOPED_TRACE(Case.Text);
        try {
            EvaluateExpression(Case.Text, In, true);
            ADD_FAILURE() << "no error";
        } catch (const EExpressionError& E) {
            EXPECT_EQ(std::string(E.what()), Case.Message);
            EXPECT_EQ(E.Position, Case.Position);
        }
    }
    void ExpectError(const TErrorCase& Case) {
        Table.RaiseOnUndefined = true;
        ExpectError(Case, &Table);
    }
};

TEST_F(ExpressionEvalTest, OperatorsPrecedenceAndLeftAssociation) {
    const struct {
        const char* Text;
        long double Result;
    } Cases[] = {
        {"2+3*4", 14},         {"2^3^2", 64},      {"-2^2", -4},        {"2*-3", -6},
        {"2*(-3)", -6},        {"1=1", 1},         {"0.1+0.2=0.3", 1},  {"3#3", 0},
        {"2<3", 1},            {"3<2", 0},         {"3>2", 1},          {"2>2", 0},
        {"2&0", 0},            {"2|0", 1},         {"0|0", 0},          {"7.5%2", 1.5},
        {"-7.5%2", -1.5},      {"8/2/2", 2},       {"10-4-3", 3},       {"2*3^2", 18},
        {"1+2=3&4>3", 1},      {"1|0=0", 1},       {"2;3", 2},          {"(1+2", 3},
        {"2)+7", 2},           {" \t2 +\r\n3 ", 5}, {"--3", 3},         {"+-3", -3},
        {"(2+3)*(4-1)", 15},   {"0^0", 1},          {"0^2.5", 0},        {"(-2)^3", -8},
        {"2^-2", 0.25},        {"(-3)^-1", -1.0L / 3},        {"1+1e-17=1", 1},    {"1e-15=0", 0},
    };
    for (const auto& Case : Cases) EXPECT_EQ(Eval(Case.Text), Case.Result) << Case.Text;
}

TEST_F(ExpressionEvalTest, InfinitiesAndInvalidOperations) {
    EXPECT_EQ(Eval("1/0"), Inf);
    EXPECT_EQ(Eval("-1/0"), -Inf);
    EXPECT_EQ(Eval("1/-0"), Inf); // the sign follows the dividend
    EXPECT_EQ(Eval("1e4000*1e4000"), Inf);
    EXPECT_EQ(Eval("-1e4000*1e4000"), -Inf);
    EXPECT_EQ(Eval("0^-1"), Inf);
    EXPECT_EQ(Eval("(-2)^16385"), -Inf);
    EXPECT_EQ(Eval("(-2)^16384"), Inf);
    EXPECT_EQ(Eval("2^-20000"), 0);
    EXPECT_EQ(Eval("0.5^-100000.5"), Inf);
    EXPECT_EQ(Eval("inf+1"), Inf);

    // Top-level "+" and "-" report the floating-point error itself ...
    EXPECT_THROW(Eval("1/0-1/0"), EInvalidOperation);
    EXPECT_THROW(Eval("(inf-inf)*2"), EInvalidOperation);
    // ... the other operators an expression error at the current position.
    ExpectError({"0/0", "Invalid floating point operation", 4});
    ExpectError({"inf*0 + 1", "Invalid floating point operation", 10});
    ExpectError({"2%0", "Invalid floating point operation", 4});
    ExpectError({"inf=inf", "Invalid floating point operation", 8});
    ExpectError({"(-8)^(1/3)", "Invalid floating point operation", 11});
    // Inside a call argument the call rule wraps it at the ")".
    ExpectError({"abs(1/0-1/0)", "Invalid floating point operation", 11});
}

TEST_F(ExpressionEvalTest, ValueNotRequiredGivesQuietNaN) {
    EXPECT_TRUE(std::isnan(Eval(" ", false)));
    EXPECT_TRUE(std::isnan(Eval("()+1", false)));
    EXPECT_EQ(Eval("()|1", false), 1); // NaN counts as zero
    EXPECT_EQ(Eval("()&1", false), 0);
    EXPECT_EQ(Eval("()#1", false), 1);
    EXPECT_EQ(Eval("()<1", false), 0);
    EXPECT_EQ(Eval("()>1", false), 0);
}

TEST_F(ExpressionEvalTest, NumberLexing) {
    EXPECT_EQ(Eval("$FF"), 255);
    EXPECT_EQ(Eval("$ff+1"), 256);
    EXPECT_EQ(Eval("$FFFFFFFF"), 4294967295.0L);
    EXPECT_EQ(Eval("$00000000FF"), 255);
    EXPECT_EQ(Eval("1,5"), 1.5);
    EXPECT_EQ(Eval("1,5e1"), 15);
    EXPECT_EQ(Eval("1e3"), 1000);
    EXPECT_EQ(Eval("1E+3"), 1000);
    EXPECT_EQ(Eval("1e-3"), 1e-3L);
    EXPECT_EQ(Eval(".5"), 0.5);
    EXPECT_EQ(Eval("5."), 5);
    EXPECT_EQ(Eval("2e-3-1"), 2e-3L - 1);
    EXPECT_EQ(Eval("2-1"), 1); // "-" after a value is an operator

    ExpectError({"2*-x", "Invalid number format", 4});
    ExpectError({"1.2.3", "Invalid number format", 6});
    ExpectError({"1,5,3", "Invalid number format", 6});
    ExpectError({"1e", "Invalid number format", 3});
    ExpectError({"1e+", "Invalid number format", 4});
    ExpectError({"1+.", "Invalid number format", 4});
    ExpectError({"$", "Invalid number format", 2});
    ExpectError({"$G", "Invalid number format", 2});
    ExpectError({"$100000000", "Invalid number format", 11});
    ExpectError({"1e5000", "Invalid number format", 7});
    ExpectError({"$FF.5", "Operator expected", 4});
}

TEST_F(ExpressionEvalTest, ResultsAreBitExact) {
    const struct {
        const char* Text;
        long double Result;
    } Cases[] = {
        {"0.1+0.2", 0x999999999999999ap-65L},
        {"1/3", 0xaaaaaaaaaaaaaaabp-65L},
        {"1e-3", 0x83126e978d4fdf3bp-73L},
        {"3.14159265358979323846", 0xc90fdaa22168c235p-62L},
        {"123456789.123456789e-7", 0xc587e69c77108dd8p-60L},
        {"1e-4000", 0x9c3d73864f3805c0p-13351L},
        {"1e300*1e300", 0x8eb39714297efb28p1930L},
        {"1.7976931348623157e308*10", 0x9ffffffffffffaccp964L},
        {"1.1^100", 0xd752730935dac179p-50L},
        {"3^-5", 0x86d905447a34acc6p-71L},
        {"pi", 0xc90fdaa22168c235p-62L},
        {"sqrt(2)", 0xb504f333f9de6484p-63L},
        {"num.solve(x^2=2, x)", 0xb504f333f9de6484p-63L},
        {"num.root(x^2-2,x)", 0xb504f333f9de6484p-63L},
        {"num.argmin(x^2-2*x,x)", 0xffffffffe51c93a4p-64L},
        {"num.min(x^2-2*x,x)", -1},
        {"num.solve(x^3+x=5,x)", 0xc20ba3dda961d3e9p-63L},
    };
    for (const auto& Case : Cases) EXPECT_EQ(Bits(Eval(Case.Text)), Bits(Case.Result)) << Case.Text;
}

TEST_F(ExpressionEvalTest, FailureMessagesAndPositions) {
    const TErrorCase Cases[] = {
        {"2 3", "Operator expected", 3},
        {"2 (3)", "Operator expected", 3},
        {"*2", "Unexpected character: *", 1},
        {"2*/3", "Unexpected character: /", 3},
        {"2+", "Value expected", 3},
        {"2+ ", "Value expected", 4},
        {"1+(2*)", "Unexpected character: )", 6},
        {"2+@", "Unexpected character: @", 3},
        {"sin (1)", "( expected", 4},
        {"abc+1", "Undefined symbol: abc", 4},
        {"Pi", "Undefined symbol: Pi", 3},
        {":a=5", "Value expected", 5},
        {"()", "Value expected", 2},
        {"", "Expression is empty", 0},
        {"   ", "Value expected", 4},
        {":=3", "Name expected", 2},
        {": 3", "Name expected", 3},
        {":a 3", "= or ( expected", 4},
        {":a(3)=1", "Name expected", 4},
        {":a()3", "= expected", 5},
        {":a(x=1", ") expected", 5},
        {":a(x) 1", "= expected", 7},
        {":a()=  ", "Expression is empty", 8},
        {":a(x)= ; a(2)", "Expression is empty", 13},
        {"num.root (x, x)", "( expected", 9},
        {"num.root(x, x", ") expected", 14},
    };
    for (const auto& Case : Cases) ExpectError(Case);
    // Without RaiseOnUndefined an unknown name is 0.
    Table.RaiseOnUndefined = false;
    EXPECT_EQ(Eval("abc+1"), 1);
}

TEST_F(ExpressionEvalTest, GlobalTableRaisesOnUndefinedAndKeepsDefinitions) {
    ASSERT_NE(GlobalSymbolTable, nullptr);
    EXPECT_TRUE(GlobalSymbolTable->RaiseOnUndefined);
    ExpectError({"abc+1", "Undefined symbol: abc", 4}, nullptr);
    EXPECT_EQ(EvaluateExpression(":GlobalTestValue=21; GlobalTestValue*2"), 42);
    EXPECT_EQ(EvaluateExpression("GlobalTestValue"), 21);
    EXPECT_EQ(Eval("GlobalTestValue"), 0); // not in the private table
    GlobalSymbolTable->RemoveSymbol("GlobalTestValue");
}

TEST_F(ExpressionEvalTest, DefinitionsPersistAndReplace) {
    EXPECT_EQ(Eval(":a=5; a*2"), 10);
    EXPECT_EQ(Eval("a"), 5);
    EXPECT_EQ(Eval(":a=7; a"), 7);
    EXPECT_EQ(Bits(Eval(":g()=2*pi; g")), Bits(2 * 0xc90fdaa22168c235p-62L));
    // A named expression is evaluated at each use, not at its definition.
    EXPECT_EQ(Eval(":h() = a + 1 ; :a=1; h"), 2);
    EXPECT_EQ(Eval(":f(x)=x^2+1; f(3)"), 10);
    EXPECT_EQ(Eval("f(f(1))"), 5);
    EXPECT_EQ(Eval(":k(y)=\ty\r\n* 2 ;k(4)"), 8);
    auto* K = dynamic_cast<TExpressionFunction*>(Table.FindSymbol("k"));
    ASSERT_NE(K, nullptr);
    EXPECT_EQ(K->Body, "y  * 2 "); // trimmed, ";" dropped, blanks made spaces
    EXPECT_EQ(K->ParameterName, "y");
    EXPECT_EQ(K->BodyPosition, 8);
    // Built-ins can be replaced.
    EXPECT_EQ(Eval(":sin(x)=x; sin(2)"), 2);
    EXPECT_EQ(Eval(":pi=3; pi"), 3);
    // A definition may stand between an operand and the next operator, but
    // not where an operand must follow.
    EXPECT_EQ(Eval("2 :b=4; *b"), 8);
    ExpectError({"2* :b=4; 3", "Unexpected character: :", 4});
}

TEST_F(ExpressionEvalTest, UserFunctionParameterBindingIsRestored) {
    Eval(":f(x)=x+1;0");
    EXPECT_EQ(Eval("f(3)"), 4);
    EXPECT_EQ(Table.FindSymbol("x"), nullptr);

    Eval(":x=5;0");
    TSymbol* X = Table.FindSymbol("x");
    EXPECT_EQ(Eval("f(3)+x"), 9);
    EXPECT_EQ(Table.FindSymbol("x"), X);

    // After a failure inside the body as well.
    Table.RaiseOnUndefined = true;
    Eval(":bad(x)=x+nothing;0");
    ExpectError({"bad(1)", "Undefined symbol: nothing", 6});
    EXPECT_EQ(Table.FindSymbol("x"), X);
    EXPECT_EQ(Eval("x"), 5);
    Table.RemoveSymbol("x");
    ExpectError({"bad(1)", "Undefined symbol: nothing", 6});
    EXPECT_EQ(Table.FindSymbol("x"), nullptr);

    // A body that redefines its own parameter or the function itself.
    EXPECT_EQ(Eval(":p(x)=(:x=7)+x; p(1)"), 7);
    EXPECT_EQ(Table.FindSymbol("x"), nullptr);
    EXPECT_EQ(Eval(":q(z)=(:q=z*2)+z; q(4)+q"), 12);
}

TEST_F(ExpressionEvalTest, RecursionAndNesting) {
    Table.RaiseOnUndefined = true;
    ExpectError({":f(x)=f(x); f(1)", "Recursive reference", 16});
    ExpectError({":g()=g+1; g", "Recursive reference", 0});
    ExpectError({":u()=v; :v()=u; u", "Recursive reference", 0});
    // The flags are cleared again: the symbols can be used once more.
    Eval(":u()=1;0");
    EXPECT_EQ(Eval("v"), 1);
    EXPECT_EQ(Eval(":h(x)=x*2; h(h(h(1)))"), 8);

    std::string Deep(255, '(');
    EXPECT_EQ(Eval(Deep + "1"), 1);
    ExpectError({(Deep + "(1").c_str(), "Expression too complex", 257});
    std::string Chain = ":d0()=1;";
    for (int i = 1; i <= 300; ++i) Chain += ":d" + std::to_string(i) + "()=d" + std::to_string(i - 1) + "+1;";
    Eval(Chain + "0");
    EXPECT_EQ(Eval("d200"), 201);
    try {
        Eval("d300");
        ADD_FAILURE() << "no error";
    } catch (const EExpressionError& E) {
        EXPECT_STREQ(E.what(), "Expression too complex");
    }
    EXPECT_EQ(Eval("d10"), 11); // nothing left busy
}

TEST_F(ExpressionEvalTest, SymbolTable) {
    EXPECT_TRUE(Table.Sorted());
    EXPECT_FALSE(Table.RaiseOnUndefined);
    for (std::int32_t i = 1; i < Table.Count(); ++i) EXPECT_LT(Table.Get(i - 1), Table.Get(i));
    EXPECT_EQ(Table.Count(), 6 + 27 + 4 + 1);
    EXPECT_EQ(dynamic_cast<TSymbolValue*>(Table.FindSymbol("Mb"))->Value, 1048576);
    EXPECT_EQ(dynamic_cast<TSymbolValue*>(Table.FindSymbol("Gb"))->Value, 1073741824);
    EXPECT_NE(dynamic_cast<TParameterValue*>(Table.FindSymbol("num.Guess")), nullptr);
    EXPECT_EQ(dynamic_cast<TStandardFunction*>(Table.FindSymbol("abs"))->Description, "|x|");
    EXPECT_EQ(dynamic_cast<TStandardFunction*>(Table.FindSymbol("randn"))->Description, "Gaussian random number, StdDev=x");
    EXPECT_EQ(dynamic_cast<TStandardFunction*>(Table.FindSymbol("sin"))->Description, "");
    auto* Solve = dynamic_cast<TOptimizationFunction*>(Table.FindSymbol("num.solve"));
    ASSERT_NE(Solve, nullptr);
    EXPECT_EQ(Solve->ParameterSyntax(), "equation,x");
    EXPECT_EQ(Solve->Description(), "Solve equation in x");
    auto* ArgMin = dynamic_cast<TOptimizationFunction*>(Table.FindSymbol("num.argmin"));
    EXPECT_EQ(ArgMin->ParameterSyntax(), "expression,x");
    EXPECT_EQ(ArgMin->Description(), "Find x that minimizes expression");

    auto* V = new TSymbolValue(3);
    EXPECT_EQ(Table.SetSymbol("v", V), V);
    EXPECT_EQ(Table.FindSymbol("v"), V);
    Table.SetSymbol("v", new TSymbolValue(4)); // frees the first
    EXPECT_EQ(Eval("v"), 4);
    Table.RemoveSymbol("v");
    try {
        Table.RemoveSymbol("v");
        ADD_FAILURE() << "no error";
    } catch (const Exception& E) {
        EXPECT_STREQ(E.what(), "Symbol not found");
        EXPECT_EQ(dynamic_cast<const EExpressionError*>(&E), nullptr);
    }
}

TEST_F(ExpressionEvalTest, SolverModes) {
    const long double Sqrt2 = 0xb504f333f9de6484p-63L;
    EXPECT_NEAR(double(Eval("num.min(x^2-2*x, x)")), -1, 1e-15);
    EXPECT_NEAR(double(Eval("num.argmin(x^2-2*x, x)")), 1, 1e-9);
    EXPECT_NEAR(double(Eval("num.root((x-2)*(x+2), x)")), 2, 1e-5);
    EXPECT_NEAR(double(Eval("num.root((x-1,5), x)")), 1.5, 1e-5); // the comma inside parentheses is no separator
    EXPECT_NEAR(double(Eval("num.solve( x^2 = 2 ,  x )")), double(Sqrt2), 1e-9);
    // The search starts at num.Guess.
    EXPECT_EQ(Eval(":num.Guess=-3; num.solve(x^2=2, x)"), -Sqrt2);
    Eval(":num.Guess=0.500000001;0");
    // Results are cleaned: tiny values are 0, huge ones infinite.
    EXPECT_EQ(Eval("num.min(x^2+1e-120, x)"), 0);
    EXPECT_EQ(Eval(":num.Guess=2e100; num.min(x*0+2e100, x)"), Inf);
    EXPECT_EQ(Eval("num.min(x*0-2e100, x)"), -Inf);
    // A solver inside a user function.
    Eval(":num.Guess=0.500000001; :s(a)=num.root(x^2-a, x);0");
    EXPECT_NEAR(double(Eval("s(9)")), 3, 1e-5);
}

TEST_F(ExpressionEvalTest, SolverRestoresTheVariable) {
    Eval(":x=5;0");
    TSymbol* X = Table.FindSymbol("x");
    EXPECT_NEAR(double(Eval("num.root(x-1, x)+x")), 6, 1e-5);
    EXPECT_EQ(Table.FindSymbol("x"), X);
    ExpectError({"num.root(x^2+1, x)", "No solution found, try changing starting guess", 18});
    EXPECT_EQ(Table.FindSymbol("x"), X);
    EXPECT_EQ(Eval("x"), 5);
    Table.RemoveSymbol("x");

    ExpectError({"num.root(x^2+1, x)", "No solution found, try changing starting guess", 18});
    EXPECT_EQ(Table.FindSymbol("x"), nullptr);
    // An expression that redefines the variable: the search sees a constant.
    ExpectError({"num.root((:x=3)+x-1, x)", "No solution found, try changing starting guess", 23});
    EXPECT_EQ(Table.FindSymbol("x"), nullptr);
    // Failing trials do not stop the search: sqrt is undefined left of 0.
    EXPECT_NEAR(double(Eval("num.argmin(x-sqrt(x-0.25), x)")), 0.5, 1e-6);
}

TEST_F(ExpressionEvalTest, SolverMessages) {
    const TErrorCase Cases[] = {
        {"num.root(x^2-2)", ", expected", 15},
        {"num.root(x^2-2", ", expected", 15},
        {"num.root(x^2-2, 3)", "Name expected", 17},
        {"num.root(x^2-2, )", "Name expected", 17},
        {"num.solve(x^2, x)", "= not found", 14},
        {"num.solve(x=1=2, x)", "Extra = found", 17},
        {"num.root(y+1, x)", "Unable to evaluate guess: Undefined symbol: y", 11},
        {"num.root(x+, x)", "Unable to evaluate guess: Value expected", 12},
        {"num.solve(x=y, x)", "Unable to evaluate guess: Undefined symbol: y", 14},
        {"num.root(, x)", "Unable to evaluate guess: Expression is empty", 9},
        {"2*num.root(x-1, x y)", ") expected", 19},
    };
    for (const auto& Case : Cases) ExpectError(Case);
    Eval(":num.Guess()=1;0");
    ExpectError({"num.root(x-1, x)", "Guess undefined", 16});
    Table.RemoveSymbol("num.Guess");
    ExpectError({"num.root(x-1, x)", "Guess undefined", 16});
    // Errors that are not the language's are wrapped at the call.
    Eval(":num.Guess=1;0");
    ExpectError({"num.root(x+1/0-1/0, x)", "Invalid floating point operation", 21});
}

TEST_F(ExpressionEvalTest, RoundingFunctions) {
    const struct {
        const char* Text;
        long double Result;
    } Cases[] = {
        {"ceil(2.1)", 3},           {"ceil(-2.1)", -2},       {"ceil(5)", 5},
        {"floor(-2.1)", -3},        {"floor(2.9)", 2},        {"floor(-5)", -5},
        {"round(2.5)", 2},          {"round(3.5)", 4},        {"round(-2.5)", -2},
        {"round(1e18+0.5)", 1e18L}, {"frac(-2.25)", -0.25},   {"frac(7)", 0},
        // Beyond 32 and 64 bits the results are still the right whole numbers.
        {"ceil(2147483647.5)", 2147483648.0L}, {"floor(-2147483648.5)", -2147483649.0L},
        {"ceil(3e9)", 3e9L},        {"floor(4294967299.5)", 4294967299.0L},
        {"ceil(1e19)", 1e19L},      {"round(-1e19)", -1e19L}, {"floor(-1e300)", -1e300L},
        {"abs(-3)", 3},             {"sin(2^63)", 0},         {"cos(-1e19)", 0},
    };
    for (const auto& Case : Cases) EXPECT_EQ(Eval(Case.Text), Case.Result) << Case.Text;
    EXPECT_FALSE(std::signbit(Eval("ceil(-0.5)")));
    ExpectError({"ceil(inf)", "Invalid floating point operation", 9});
    ExpectError({"frac(inf)", "Invalid floating point operation", 9});
}

TEST_F(ExpressionEvalTest, FactorialAndBinary) {
    EXPECT_EQ(Eval("fac(5)"), 120);
    EXPECT_EQ(Eval("fac(0)"), 1);
    EXPECT_EQ(Eval("fac(1)"), 1);
    EXPECT_EQ(Eval("fac(3.0000001)"), 6);
    EXPECT_EQ(Eval("fac(20)"), 2432902008176640000.0L);
    EXPECT_TRUE(std::isfinite(Eval("fac(1754)")));
    EXPECT_EQ(Eval("fac(1755)"), Inf);
    EXPECT_EQ(Eval("fac(2147483647)"), Inf); // stops once infinite
    EXPECT_EQ(Eval("fac(1e10)"), Inf);
    ExpectError({"fac(2.5)", "Undefined", 8});
    ExpectError({"fac(-1)", "Undefined", 7});
    ExpectError({"1+fac(1e10+0.5)", "Undefined", 15});

    EXPECT_EQ(Eval("bin(1011)"), 11);
    EXPECT_EQ(Eval("bin(101)"), 5);
    EXPECT_EQ(Eval("bin(0)"), 0);
    EXPECT_EQ(Eval("bin(1111111111111111)"), 65535);
    EXPECT_EQ(Eval("bin(110.7)"), 7); // rounded first
    ExpectError({"bin(2)", "Invalid binary number", 6});
    ExpectError({"bin(-1)", "Invalid binary number", 7});
    ExpectError({"bin(inf)", "Invalid binary number", 8});
    ExpectError({"bin(11111111111111111)", "Max 16 bits in binary number", 22});
    ExpectError({"bin(1e300)", "Max 16 bits in binary number", 10});
}

TEST_F(ExpressionEvalTest, TranscendentalFunctions) {
    const struct {
        const char* Text;
        double Result;
    } Cases[] = {
        {"e", 2.718281828459045},       {"sin(1)", 0.8414709848078965},  {"cos(pi)", -1},
        {"tan(1)", 1.5574077246549023}, {"cot(1)", 0.6420926159343306},  {"arctan(1)*4", 3.141592653589793},
        {"arcsin(1)*2", 3.141592653589793}, {"arccos(-1)", 3.141592653589793}, {"arccos(0.5)*3", 3.141592653589793},
        {"sinh(1)", 1.1752011936438014}, {"cosh(1)", 1.5430806348152437}, {"tanh(0.5)", 0.46211715726000974},
        {"arccosh(2)", 1.3169578969248166}, {"arcsinh(1)", 0.881373587019543}, {"arctanh(0.5)", 0.5493061443340549},
        {"log10(1000)", 3},            {"log2(8)", 3},                  {"ln(e^2)", 2},
        {"sqrt(16)", 4},               {"exp(1)", 2.718281828459045},   {"2^0.5", 1.4142135623730951},
    };
    for (const auto& Case : Cases) EXPECT_NEAR(double(Eval(Case.Text)), Case.Result, 1e-15) << Case.Text;
    EXPECT_EQ(Eval("ln(0)"), -Inf);
    EXPECT_EQ(Eval("cot(0)"), Inf);
    ExpectError({"sqrt(-1)", "Invalid floating point operation", 8});
    ExpectError({"ln(-1)", "Invalid floating point operation", 6});
    ExpectError({"arccos(2)", "Invalid floating point operation", 9});
    ExpectError({"arccosh(0.5)", "Invalid floating point operation", 12});
}

TEST_F(ExpressionEvalTest, RandomNumbers) {
    EXPECT_EQ(Eval("rand(0)"), 0);
    EXPECT_EQ(Eval("randn(0)"), 0);
    long double Sum = 0, SumSquares = 0;
    const int N = 4000;
    for (int i = 0; i < N; ++i) {
        const long double U = Eval("rand(10)");
        EXPECT_TRUE(U >= 0 && U < 10);
        const long double G = Eval("randn(2)");
        Sum += G;
        SumSquares += G * G;
    }
    EXPECT_NEAR(double(Sum / N), 0, 0.15);
    EXPECT_NEAR(double(std::sqrt(SumSquares / N)), 2, 0.15);
}

TEST(ExpressionEvalEnvironmentTest, HostFloatingPointStateComesBack) {
    std::fenv_t Before;
    std::fegetenv(&Before);
    std::fesetround(FE_UPWARD);
    std::feclearexcept(FE_ALL_EXCEPT);
    // Evaluated with round to nearest whatever the caller's mode.
    EXPECT_EQ(EvaluateExpression("1/3", nullptr), 0xaaaaaaaaaaaaaaabp-65L);
    EXPECT_THROW(EvaluateExpression("0/0"), EExpressionError);
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
    std::fesetenv(&Before);
}

} // namespace
} // namespace fi
