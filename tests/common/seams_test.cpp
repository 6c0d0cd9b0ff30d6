#include "fakes/scripted_prompts.h"
#include "fakes/temp_program.h"

#include <gtest/gtest.h>

TEST(Seams, ScriptedPromptsAnswerInOrderAndKeepTranscript)
{
    ScriptedPrompts p;
    p.answerNo();
    p.answerOk("nieuw");
    EXPECT_EQ(prompts().yesNo("Bestaat al", "Opslaan", 1), 2);
    QString v = "oud";
    EXPECT_TRUE(prompts().inputQuery("verander", "nu:", v));
    EXPECT_EQ(v, "nieuw");
    ASSERT_EQ(p.transcript().size(), 2u);
    EXPECT_EQ(p.transcript()[1].value, "oud");
}

TEST(Seams, TempProgramOverridesLocations)
{
    TempProgram t;
    EXPECT_EQ(Locations::executablePath(), t.folder() + "KVNscan");
    EXPECT_TRUE(Locations::tempFolder().endsWith("/tmp/"));
}
