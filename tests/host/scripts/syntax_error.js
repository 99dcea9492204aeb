var = ;
