plugin.fail();
