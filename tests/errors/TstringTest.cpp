#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

#include "errors/Exceptions.h"
#include "errors/Tstring.h"

TEST(Tstring, NullReadsBackAsEmpty) {
    TString text(nullptr);
    EXPECT_STREQ(text.cStr(), "");
    EXPECT_EQ(text.ulSignature, TString::SIGNATURE);
}

TEST(Tstring, AssignmentCopiesIncludingSelf) {
    TString first("alpha");
    TString second("beta");
    first = second;
    EXPECT_STREQ(first.cStr(), "beta");
    EXPECT_NE(first.pContents, second.pContents);
    first = first;
    EXPECT_STREQ(first.cStr(), "beta");
}

TEST(Tstring, NullContentsFailTheCheck) {
    TString text("x");
    char* saved = text.pContents;
    text.pContents = nullptr;
    try {
        text.cStr();
        ADD_FAILURE() << "no exception";
    } catch (CExc exc) {
        EXPECT_EQ(exc.code, -1);
        EXPECT_STREQ(exc.message, "Error: -1 TString::pContents == 0");
    }
    text.pContents = saved;
}

TEST(Tstring, AssignmentChecksBothSidesWithTheirLines) {
    TString target("a");
    TString source("b");
    char* saved = source.pContents;
    source.pContents = nullptr;
    try {
        target = source;
        ADD_FAILURE() << "no exception";
    } catch (CExc exc) {
        EXPECT_NE(std::string(exc.message).find("(theOther.pContents != 0) fails in Tstring.cpp at line 186"),
                  std::string::npos);
    }
    source.pContents = saved;
    saved = target.pContents;
    target.pContents = nullptr;
    try {
        target = source;
        ADD_FAILURE() << "no exception";
    } catch (CExc exc) {
        EXPECT_NE(std::string(exc.message).find("(pContents != 0) fails in Tstring.cpp at line 185"),
                  std::string::npos);
    }
    target.pContents = saved;
}

TEST(Tstring, DestroyingAnOverwrittenSignatureThrowsWithTheSystemError) {
    alignas(TString) unsigned char storage[sizeof(TString)];
    TString* text = new (storage) TString("doomed");
    char* contents = text->pContents;
    text->ulSignature = 0x12345678;
    errno = ENOENT;
    try {
        text->~TString();
        ADD_FAILURE() << "no exception";
    } catch (CExc exc) {
        std::string message = exc.message;
        EXPECT_EQ(message.rfind("Error " + std::to_string(ENOENT) + " ", 0), 0u) << message;
        EXPECT_NE(message.find("(ulSignature == SIGNATURE) fails in Tstring.cpp at line 132"), std::string::npos)
            << message;
    }
    std::free(contents);  // the failed destructor could not free it
}
