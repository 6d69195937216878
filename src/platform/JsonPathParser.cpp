#include "platform/JsonPathParser.h"

#include "platform/IRegexp.h"

namespace platform {

using jsonpath::Expression;
using jsonpath::Function;
using jsonpath::Query;
using jsonpath::Segment;
using jsonpath::Selector;
using jsonpath::Type;

namespace {

struct FunctionSignature {
    const char* name;
    Function function;
    std::vector<Type> parameters;
};

const std::vector<FunctionSignature>& functionSignatures() {
    static const std::vector<FunctionSignature> signatures{
        {"length", Function::Length, {Type::Value}},
        {"count", Function::Count, {Type::Nodes}},
        {"match", Function::Match, {Type::Value, Type::Value}},
        {"search", Function::Search, {Type::Value, Type::Value}},
        {"value", Function::Value, {Type::Nodes}},
    };
    return signatures;
}

Selector wildcard() {
    return Selector{Selector::Kind::Wildcard, {}, 0, {}, nullptr};
}

Selector named(std::string name) {
    return Selector{Selector::Kind::Name, std::move(name), 0, {}, nullptr};
}

Expression withOperands(Expression::Kind kind, std::vector<Expression> operands) {
    Expression expression;
    expression.kind = kind;
    expression.operands = std::move(operands);
    return expression;
}

} // namespace

Query JsonPathParser::query() {
    if (!m_scanner.take(U'$'))
        m_scanner.fail(QStringLiteral("a query starts with '$'"));
    Query query;
    query.segments = segments();
    if (!m_scanner.atEnd())
        m_scanner.fail(QStringLiteral("unexpected %1").arg(m_scanner.describeNext()));
    return query;
}

std::vector<Segment> JsonPathParser::segments() {
    std::vector<Segment> segments;
    for (;;) {
        const std::size_t before = m_scanner.position();
        m_scanner.skipBlanks();
        if (m_scanner.peek() == U'[') {
            segments.push_back(bracketedSelection(false));
        } else if (m_scanner.peek() == U'.' && m_scanner.peek(1) == U'.') {
            m_scanner.advance(2);
            if (m_scanner.peek() == U'[')
                segments.push_back(bracketedSelection(true));
            else if (m_scanner.take(U'*'))
                segments.push_back(Segment{true, {wildcard()}});
            else
                segments.push_back(Segment{true, {named(m_scanner.memberName())}});
        } else if (m_scanner.take(U'.')) {
            if (m_scanner.take(U'*'))
                segments.push_back(Segment{false, {wildcard()}});
            else
                segments.push_back(Segment{false, {named(m_scanner.memberName())}});
        } else {
            m_scanner.reset(before);
            return segments;
        }
    }
}

Segment JsonPathParser::bracketedSelection(bool descendant) {
    Segment segment{descendant, {}};
    m_scanner.expect(U'[', "'['");
    m_scanner.skipBlanks();
    segment.selectors.push_back(selector());
    for (;;) {
        m_scanner.skipBlanks();
        if (!m_scanner.take(U',')) {
            m_scanner.expect(U']', "',' or ']'");
            return segment;
        }
        m_scanner.skipBlanks();
        segment.selectors.push_back(selector());
    }
}

Selector JsonPathParser::selector() {
    const char32_t c = m_scanner.peek();
    if (c == U'\'' || c == U'"')
        return named(m_scanner.stringLiteral());
    if (m_scanner.take(U'*'))
        return wildcard();
    if (c == U'-' || c == U':' || JsonPathScanner::isDigit(c))
        return indexOrSlice();
    if (m_scanner.take(U'?')) {
        m_scanner.skipBlanks();
        const std::size_t start = m_scanner.position();
        Selector filter{Selector::Kind::Filter, {}, 0, {}, nullptr};
        filter.filter = std::make_shared<const Expression>(asLogical(logicalOr(), start));
        return filter;
    }
    m_scanner.fail(QStringLiteral("expected a selector, found %1").arg(m_scanner.describeNext()));
}

Selector JsonPathParser::indexOrSlice() {
    auto isIntegerStart = [this] {
        return m_scanner.peek() == U'-' || JsonPathScanner::isDigit(m_scanner.peek());
    };
    Selector selector{Selector::Kind::Slice, {}, 0, {}, nullptr};
    if (m_scanner.peek() != U':') {
        selector.slice.start = m_scanner.integer();
        const std::size_t afterStart = m_scanner.position();
        m_scanner.skipBlanks();
        if (m_scanner.peek() != U':') {
            m_scanner.reset(afterStart);
            selector.kind = Selector::Kind::Index;
            selector.index = *selector.slice.start;
            return selector;
        }
    }
    m_scanner.advance();
    m_scanner.skipBlanks();
    if (isIntegerStart()) {
        selector.slice.end = m_scanner.integer();
        m_scanner.skipBlanks();
    }
    if (m_scanner.take(U':')) {
        m_scanner.skipBlanks();
        if (isIntegerStart())
            selector.slice.step = m_scanner.integer();
    }
    return selector;
}

Expression JsonPathParser::logicalOr() {
    std::size_t start = m_scanner.position();
    if (m_depth >= MaximumNesting)
        m_scanner.fail(QStringLiteral("expressions nested more than %1 deep").arg(MaximumNesting));
    struct Nesting {
        int& depth;
        explicit Nesting(int& d) : depth(++d) {}
        ~Nesting() { --depth; }
    } nesting(m_depth);
    Expression left = logicalAnd();
    for (;;) {
        const std::size_t before = m_scanner.position();
        m_scanner.skipBlanks();
        if (!m_scanner.takeWord("||")) {
            m_scanner.reset(before);
            return left;
        }
        m_scanner.skipBlanks();
        const std::size_t rightStart = m_scanner.position();
        Expression right = logicalAnd();
        left = withOperands(Expression::Kind::Or,
                            {asLogical(std::move(left), start), asLogical(std::move(right), rightStart)});
        start = rightStart;
    }
}

Expression JsonPathParser::logicalAnd() {
    std::size_t start = m_scanner.position();
    Expression left = basic();
    for (;;) {
        const std::size_t before = m_scanner.position();
        m_scanner.skipBlanks();
        if (!m_scanner.takeWord("&&")) {
            m_scanner.reset(before);
            return left;
        }
        m_scanner.skipBlanks();
        const std::size_t rightStart = m_scanner.position();
        Expression right = basic();
        left = withOperands(Expression::Kind::And,
                            {asLogical(std::move(left), start), asLogical(std::move(right), rightStart)});
        start = rightStart;
    }
}

Expression JsonPathParser::basic() {
    const std::size_t start = m_scanner.position();
    if (m_scanner.take(U'!')) {
        m_scanner.skipBlanks();
        const std::size_t operandStart = m_scanner.position();
        Expression operand = m_scanner.peek() == U'(' ? basic() : primary();
        return withOperands(Expression::Kind::Not, {asLogical(std::move(operand), operandStart)});
    }
    if (m_scanner.take(U'(')) {
        m_scanner.skipBlanks();
        Expression inner = logicalOr();
        m_scanner.skipBlanks();
        m_scanner.expect(U')', "')'");
        return asLogical(std::move(inner), start + 1);
    }
    Expression left = primary();
    const std::size_t before = m_scanner.position();
    m_scanner.skipBlanks();
    static const std::vector<std::pair<const char*, jsonpath::Comparison>> operators{
        {"==", jsonpath::Comparison::Equal},       {"!=", jsonpath::Comparison::NotEqual},
        {"<=", jsonpath::Comparison::LessOrEqual}, {">=", jsonpath::Comparison::GreaterOrEqual},
        {"<", jsonpath::Comparison::Less},         {">", jsonpath::Comparison::Greater},
    };
    for (const auto& [text, comparison] : operators) {
        if (!m_scanner.takeWord(text))
            continue;
        checkComparable(left, start);
        m_scanner.skipBlanks();
        const std::size_t rightStart = m_scanner.position();
        Expression right = primary();
        checkComparable(right, rightStart);
        Expression expression =
            withOperands(Expression::Kind::Comparison, {std::move(left), std::move(right)});
        expression.comparison = comparison;
        return expression;
    }
    m_scanner.reset(before);
    return left;
}

Expression JsonPathParser::primary() {
    const std::size_t start = m_scanner.position();
    const char32_t c = m_scanner.peek();
    if (c == U'@' || c == U'$') {
        m_scanner.advance();
        Expression expression;
        expression.kind = Expression::Kind::Query;
        expression.query.relative = c == U'@';
        expression.query.segments = segments();
        return expression;
    }
    if (c == U'\'' || c == U'"' || c == U'-' || JsonPathScanner::isDigit(c))
        return literal();
    if (c >= U'a' && c <= U'z' && !m_scanner.atEnd()) {
        const std::string name = m_scanner.functionName();
        if (m_scanner.peek() == U'(')
            return functionCall(name, start);
        Expression expression;
        if (name == "true" || name == "false") {
            expression.literal.kind = jsonpath::Literal::Kind::Boolean;
            expression.literal.boolean = name == "true";
            return expression;
        }
        if (name == "null")
            return expression;
        m_scanner.fail(start, QStringLiteral("unknown name \"%1\"").arg(QString::fromStdString(name)));
    }
    m_scanner.fail(
        QStringLiteral("expected a literal, a query or a function, found %1").arg(m_scanner.describeNext()));
}

Expression JsonPathParser::literal() {
    Expression expression;
    if (m_scanner.peek() == U'\'' || m_scanner.peek() == U'"') {
        expression.literal.kind = jsonpath::Literal::Kind::String;
        expression.literal.string = m_scanner.stringLiteral();
    } else {
        expression.literal.kind = jsonpath::Literal::Kind::Number;
        expression.literal.number = m_scanner.number();
    }
    return expression;
}

Expression JsonPathParser::functionCall(const std::string& name, std::size_t start) {
    const FunctionSignature* signature = nullptr;
    for (const FunctionSignature& candidate : functionSignatures())
        if (name == candidate.name)
            signature = &candidate;
    if (!signature)
        m_scanner.fail(start, QStringLiteral("unknown function \"%1\"").arg(QString::fromStdString(name)));
    Expression call;
    call.kind = Expression::Kind::Function;
    call.function = signature->function;
    m_scanner.expect(U'(', "'('");
    m_scanner.skipBlanks();
    std::vector<std::size_t> starts;
    if (!m_scanner.take(U')')) {
        for (;;) {
            starts.push_back(m_scanner.position());
            call.operands.push_back(logicalOr());
            m_scanner.skipBlanks();
            if (m_scanner.take(U')'))
                break;
            m_scanner.expect(U',', "',' or ')'");
            m_scanner.skipBlanks();
        }
    }
    if (call.operands.size() != signature->parameters.size())
        m_scanner.fail(start, QStringLiteral("%1() takes %2 argument(s), not %3")
                                  .arg(QString::fromStdString(name))
                                  .arg(signature->parameters.size())
                                  .arg(call.operands.size()));
    for (std::size_t i = 0; i < call.operands.size(); ++i)
        checkArgument(call.operands[i], signature->parameters[i], starts[i]);
    compilePattern(call);
    return call;
}

Expression JsonPathParser::asLogical(Expression expression, std::size_t start) const {
    switch (expression.kind) {
    case Expression::Kind::Query:
        return withOperands(Expression::Kind::Exists, {std::move(expression)});
    case Expression::Kind::Literal:
        m_scanner.fail(start, QStringLiteral("a literal is not a test (compare it with something)"));
    case Expression::Kind::Function:
        if (expression.type() == Type::Value)
            m_scanner.fail(start, QStringLiteral("this function gives a value, not a test (compare it with "
                                                 "something)"));
        return expression;
    default:
        return expression;
    }
}

void JsonPathParser::checkComparable(const Expression& expression, std::size_t start) const {
    if (expression.kind == Expression::Kind::Query && !expression.query.isSingular())
        m_scanner.fail(start, QStringLiteral("only a query that selects at most one node can be compared"));
    if (expression.type() == Type::Logical)
        m_scanner.fail(start, QStringLiteral("a test cannot be compared"));
}

void JsonPathParser::checkArgument(const Expression& argument, Type parameter, std::size_t start) const {
    if (parameter == Type::Nodes) {
        if (argument.kind != Expression::Kind::Query)
            m_scanner.fail(start, QStringLiteral("this argument must be a query"));
        return;
    }
    if (parameter == Type::Value) {
        if (argument.kind == Expression::Kind::Query && !argument.query.isSingular())
            m_scanner.fail(start,
                           QStringLiteral("this argument must be a query that selects at most one node"));
        if (argument.type() == Type::Logical)
            m_scanner.fail(start, QStringLiteral("this argument must be a value, not a test"));
    }
}

void JsonPathParser::compilePattern(Expression& call) {
    if (call.function != Function::Match && call.function != Function::Search)
        return;
    const Expression& pattern = call.operands[1];
    if (pattern.kind != Expression::Kind::Literal)
        return;
    call.patternCompiled = true;
    if (pattern.literal.kind != jsonpath::Literal::Kind::String)
        return;
    std::optional<QRegularExpression> compiled =
        IRegexp::compile(QString::fromStdString(pattern.literal.string), call.function == Function::Match);
    if (compiled)
        call.pattern = std::make_shared<const QRegularExpression>(std::move(*compiled));
}

} // namespace platform
